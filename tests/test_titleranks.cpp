// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/titleranks.h"

#include <QRandomGenerator>
#include <QtTest>

#include <map>

using namespace tidewell;

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

class TestTitleRanks : public QObject
{
    Q_OBJECT
private slots:
    void ranksOrderAsTheCollator_data();
    void ranksOrderAsTheCollator();
};

void TestTitleRanks::ranksOrderAsTheCollator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("english") << QLocale(QLocale::English, QLocale::UnitedStates) << 1u;
    QTest::newRow("english, other seed") << QLocale(QLocale::English, QLocale::UnitedStates) << 2u;
    QTest::newRow("swedish") << QLocale(QLocale::Swedish, QLocale::Sweden) << 3u;
}

// Titles come and go one at a time or many at once; after each step, two titles in use compare by their ranks as
// the locale's collator, letter case ignored, compares them, and every title keeps its text.
void TestTitleRanks::ranksOrderAsTheCollator()
{
    QFETCH(QLocale, locale);
    QFETCH(quint32, seed);

    static const QStringList pool { QString(), u"Backup"_qs, u"backup"_qs, u"BACKUP"_qs, u"Alert"_qs, u"Zeta"_qs,
        u"\u00c4pfel"_qs, u"\u00e4pfel"_qs, u"Apfel"_qs, u"Disk full"_qs, u" "_qs, u"\u00c9mile"_qs, u"Emile"_qs };
    // Titles ranked all at once are ranked by the default locale; the projection loads again whenever that changes.
    QLocale::setDefault(locale);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QRandomGenerator random(seed);
    TitleRanks ranks;
    ranks.reset(locale);
    std::map<qint32, std::pair<QString, int>> inUse; // text number: title, uses

    for (int step = 0; step < 300; ++step) {
        if (inUse.empty() || random.bounded(3) > 0) {
            const QString& title = pool[random.bounded(int(pool.size()))];
            const bool deferred = random.bounded(4) == 0;
            const qint32 text = ranks.acquire(title, deferred);
            if (deferred)
                ranks.rankAll();
            auto& [held, uses] = inUse[text];
            QVERIFY(uses == 0 || held == title);
            held = title;
            ++uses;
        } else {
            auto it = inUse.begin();
            std::advance(it, random.bounded(int(inUse.size())));
            ranks.release(it->first);
            if (--it->second.second == 0)
                inUse.erase(it);
        }
        ranks.renumber();
        QSet<qint32> distinct;
        for (const auto& [left, leftHeld] : inUse) {
            QCOMPARE(ranks.text(left), leftHeld.first);
            distinct.insert(ranks.rank(left));
            for (const auto& [right, rightHeld] : inUse) {
                QVERIFY2(sign(ranks.rank(left) - ranks.rank(right))
                        == sign(collator.compare(leftHeld.first, rightHeld.first)),
                    qPrintable(u"step %1: \"%2\" and \"%3\""_qs.arg(step).arg(leftHeld.first, rightHeld.first)));
            }
        }
        QCOMPARE(ranks.rankCount(), distinct.size());
    }
}

QTEST_GUILESS_MAIN(TestTitleRanks)
#include "test_titleranks.moc"
