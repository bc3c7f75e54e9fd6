// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/linkurl.h"

#include <QtTest>

using namespace tidewell;

namespace {
const QString secret32 = u"abcdefghijklmnopqrstuvwxyz012345"_qs;
}

class TestLinkURL : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void TestLinkURL::parse_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("server"); // empty: not a link
    QTest::addColumn<QString>("secret");

    QTest::newRow("https, host only") << u"https://push.example.com/link#s="_qs + secret32
                                      << u"https://push.example.com"_qs << secret32;
    QTest::newRow("query ignored, port kept") << u"https://push.example.com:8443/link?x=1#s="_qs + secret32
                                              << u"https://push.example.com:8443"_qs << secret32;
    QTest::newRow("other parameter first")
        << u"https://a.example/link#v=2&&s="_qs + secret32 << u"https://a.example"_qs << secret32;
    QTest::newRow("second s= ignored") << u"https://a.example/link#s="_qs + secret32 + u"&s=other"_qs
                                       << u"https://a.example"_qs << secret32;
    QTest::newRow("http to localhost") << u"http://localhost:8080/link#s="_qs + secret32 << u"http://localhost:8080"_qs
                                       << secret32;
    QTest::newRow("http to 127.0.0.1") << u"http://127.0.0.1:9/link#s="_qs + secret32 << u"http://127.0.0.1:9"_qs
                                       << secret32;
    QTest::newRow("percent-decoded, not trimmed") << u"https://a.example/link#s=%20"_qs + secret32 + u"%2B"_qs
                                                  << u"https://a.example"_qs << u" "_qs + secret32 + u"+"_qs;
    QTest::newRow("http to a public host")
        << u"http://push.example.com/link#s="_qs + secret32 << QString() << QString();
    QTest::newRow("trailing slash") << u"https://a.example/link/#s="_qs + secret32 << QString() << QString();
    QTest::newRow("other path") << u"https://a.example/links#s="_qs + secret32 << QString() << QString();
    QTest::newRow("31 characters") << u"https://a.example/link#s="_qs + secret32.left(31) << QString() << QString();
    QTest::newRow("secret in the query") << u"https://a.example/link?s="_qs + secret32 << QString() << QString();
    QTest::newRow("no scheme") << u"//a.example/link#s="_qs + secret32 << QString() << QString();
    QTest::newRow("ftp") << u"ftp://a.example/link#s="_qs + secret32 << QString() << QString();
    // 32 user-perceived characters made of 64 code units still count as 32.
    QTest::newRow("31 combined characters")
        << u"https://a.example/link#s="_qs + u"e\u0301"_qs.repeated(31) << QString() << QString();
    QTest::newRow("combining characters") << u"https://a.example/link#s="_qs + u"e\u0301"_qs.repeated(32)
                                          << u"https://a.example"_qs << u"e\u0301"_qs.repeated(32);
}

void TestLinkURL::parse()
{
    QFETCH(QString, link);
    QFETCH(QString, server);
    QFETCH(QString, secret);
    const auto config = LinkURL::parse(QUrl(link));
    if (server.isEmpty()) {
        QCOMPARE(config, std::nullopt);
        return;
    }
    QVERIFY(config);
    QCOMPARE(config->serverURL.toString(), server);
    QCOMPARE(config->deviceSecret, secret);
}

QTEST_GUILESS_MAIN(TestLinkURL)
#include "test_linkurl.moc"
