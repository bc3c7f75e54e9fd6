// SPDX-License-Identifier: GPL-3.0-or-later
// Taking the link URLs off the command line: the copies main() works with, and what stays in argv for Qt and for
// every other account on the machine to read.

#include "app/commandline.h"

#include <QtTest>

#include <vector>

using namespace tidewell;

namespace {

const QString linkURL = u"https://push.example.com/link#s=abcdefghijklmnopqrstuvwxyz012345"_qs;

// A command line laid out as the kernel hands it over: every argument in one block, each ended by a NUL, and argv
// pointing into it; so a wipe that leaves any byte of an argument behind shows in the block.
class CommandLine
{
public:
    explicit CommandLine(const QStringList& arguments)
    {
        for (const QString& argument : QStringList { u"tidewell"_qs } + arguments)
            m_block += argument.toUtf8() + '\0';
        for (qsizetype at = 0; at < m_block.size(); at = m_block.indexOf('\0', at) + 1)
            m_argv.push_back(m_block.data() + at);
        m_argv.push_back(nullptr);
    }

    int argc() const { return int(m_argv.size()) - 1; }
    char** argv() { return m_argv.data(); }
    const QByteArray& block() const { return m_block; }

private:
    QByteArray m_block;
    std::vector<char*> m_argv;
};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void takesAndWipesLinkArguments_data();
    void takesAndWipesLinkArguments();
};

void TestCommandLine::takesAndWipesLinkArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("wiped"); // positions in `arguments`
    const QString other = u"http://127.0.0.1:8080/link#s=%C3%A9-0123456789abcdefghijklmnopqrstuv"_qs;

    QTest::newRow("a link") << QStringList { linkURL } << QList<int> { 0 };
    QTest::newRow("start at login and a link") << QStringList { u"--background"_qs, linkURL } << QList<int> { 1 };
    QTest::newRow("a link before an option") << QStringList { linkURL, u"--background"_qs } << QList<int> { 0 };
    QTest::newRow("two links") << QStringList { linkURL, other } << QList<int> { 0, 1 };
    QTest::newRow("text outside ASCII") << QStringList {
        u"https://h\u00e9.example/link#s=\u00fc0123456789abcdefghijklmnopqrstuv"_qs
    } << QList<int> { 0 };
    QTest::newRow("Qt's option and its value")
        << QStringList { u"-platform"_qs, u"offscreen"_qs, linkURL } << QList<int> { 2 };
    QTest::newRow("Qt's option with two dashes")
        << QStringList { u"--display"_qs, u":57"_qs, linkURL } << QList<int> { 2 };
    QTest::newRow("Qt's option with its value attached")
        << QStringList { u"-style=fusion"_qs, linkURL } << QList<int> { 1 };
    QTest::newRow("Qt's option without a value") << QStringList { u"-reverse"_qs, linkURL } << QList<int> { 1 };
    QTest::newRow("a value option last") << QStringList { linkURL, u"-session"_qs } << QList<int> { 0 };
    QTest::newRow("options only") << QStringList { u"--background"_qs, u"-name"_qs, u"tw"_qs } << QList<int> {};
    QTest::newRow("nothing") << QStringList {} << QList<int> {};
}

void TestCommandLine::takesAndWipesLinkArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, wiped);
    CommandLine line(arguments);
    const int argc = line.argc();

    QStringList taken;
    QByteArray left = QByteArrayLiteral("tidewell") + '\0';
    for (int i = 0; i < arguments.size(); ++i) {
        const QByteArray bytes = arguments.at(i).toUtf8();
        if (wiped.contains(i))
            taken.append(arguments.at(i));
        left += (wiped.contains(i) ? QByteArray(bytes.size(), '\0') : bytes) + '\0';
    }

    QCOMPARE(takeLinkArguments(argc, line.argv()), taken);
    QCOMPARE(line.block(), left);
    // Qt reads the same pointers afterwards: a wiped argument is an empty one, every other is where it was.
    for (int i = 0; i < arguments.size(); ++i)
        QCOMPARE(QString::fromUtf8(line.argv()[i + 1]), wiped.contains(i) ? QString() : arguments.at(i));
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
