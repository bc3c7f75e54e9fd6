// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windowactivation.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace tidewell;
using Outcome = WindowActivation::Outcome;

// The window's activation on the offscreen platform, where every request to be activated is granted: what is done
// with the token, and when.

class TestWindowActivation : public QObject
{
    Q_OBJECT
private slots:
    void acceptsOnlyTokensADisplayServerCanTake_data();
    void acceptsOnlyTokensADisplayServerCanTake();
    void takesTheLaunchToken_data();
    void takesTheLaunchToken();
    void activates_data();
    void activates();
    void latestTokenWins();
};

void TestWindowActivation::acceptsOnlyTokensADisplayServerCanTake_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("usable");

    QTest::newRow("Wayland token") << u"8f14e45fceea167a5a36dedd4bea2543"_qs << true;
    QTest::newRow("X11 startup id") << u"xdg-launch-4711-host-tidewell-0_TIME1234567"_qs << true;
    QTest::newRow("punctuation") << u"a!~/:=_-."_qs << true;
    QTest::newRow("at the cap") << QString(WindowActivation::maxTokenSize, u'x') << true;
    QTest::newRow("over the cap") << QString(WindowActivation::maxTokenSize + 1, u'x') << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("space inside") << u"a b"_qs << false;
    QTest::newRow("line break") << u"ab\n"_qs << false;
    QTest::newRow("DEL") << u"ab\x7f"_qs << false;
    QTest::newRow("outside ASCII") << u"jeton-é"_qs << false;
}

void TestWindowActivation::acceptsOnlyTokensADisplayServerCanTake()
{
    QFETCH(QString, token);
    QFETCH(bool, usable);
    QCOMPARE(WindowActivation::isUsableToken(token), usable);

    WindowActivation activation;
    activation.setToken(token);
    QCOMPARE(activation.pendingToken(), usable ? token : QString());
}

void TestWindowActivation::takesTheLaunchToken_data()
{
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("x11");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << QByteArray() << QByteArray() << QString();
    QTest::newRow("Wayland") << QByteArray("w-123") << QByteArray() << u"w-123"_qs;
    QTest::newRow("X11") << QByteArray() << QByteArray("id_TIME5") << u"id_TIME5"_qs;
    QTest::newRow("both: the Wayland one") << QByteArray("w-123") << QByteArray("id_TIME5") << u"w-123"_qs;
    QTest::newRow("unusable Wayland token") << QByteArray("w 123") << QByteArray() << QString();
}

void TestWindowActivation::takesTheLaunchToken()
{
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, x11);
    QFETCH(QString, expected);
    const auto set = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    set("XDG_ACTIVATION_TOKEN", wayland);
    set("DESKTOP_STARTUP_ID", x11);

    QCOMPARE(WindowActivation::takeLaunchToken(), expected);
    // Spent once, and never inherited by a program Tidewell starts; the startup id stays for Qt's X11 support.
    QVERIFY(!qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
    QCOMPARE(qgetenv("DESKTOP_STARTUP_ID"), x11);
    qunsetenv("DESKTOP_STARTUP_ID");
}

void TestWindowActivation::activates_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("window"); // "behind" another window, "active", or "hidden" until after the request
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("pendingAfter");

    QTest::newRow("behind, with a token") << u"tok-1"_qs << u"behind"_qs << Outcome::TokenUsed << QString();
    QTest::newRow("behind, without one") << QString() << u"behind"_qs << Outcome::AttentionRequested << QString();
    QTest::newRow("behind, with an unusable one")
        << u"tok 1"_qs << u"behind"_qs << Outcome::AttentionRequested << QString();
    // A token the window no longer needs is dropped, not kept for a later activation it would not belong to.
    QTest::newRow("active, with a token") << u"tok-1"_qs << u"active"_qs << Outcome::AlreadyActive << QString();
    QTest::newRow("active, without one") << QString() << u"active"_qs << Outcome::AlreadyActive << QString();
    // Kept until the window is on screen, since a compositor ignores activation of a surface it has not mapped.
    QTest::newRow("hidden, with a token") << u"tok-1"_qs << u"hidden"_qs << Outcome::TokenUsed << u"tok-1"_qs;
    QTest::newRow("hidden, without one") << QString() << u"hidden"_qs << Outcome::AttentionRequested << QString();
}

void TestWindowActivation::activates()
{
    QFETCH(QString, token);
    QFETCH(QString, window);
    QFETCH(Outcome, outcome);
    QFETCH(QString, pendingAfter);

    QWindow target;
    target.resize(200, 100);
    QWindow other;
    other.resize(200, 100);
    if (window != u"hidden") {
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));
    }
    if (window == u"behind") {
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.requestActivate();
        QTRY_VERIFY(other.isActive());
    } else if (window == u"active") {
        target.requestActivate();
        QTRY_VERIFY(target.isActive());
    }
    QVERIFY(target.isActive() == (window == u"active"));

    WindowActivation activation;
    activation.setToken(token);
    QCOMPARE(activation.activate(&target), outcome);
    QCOMPARE(activation.pendingToken(), pendingAfter);

    if (window == u"hidden") {
        QVERIFY(!target.isActive());
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));
        QTRY_COMPARE(activation.pendingToken(), QString());
    }
    // Asked to be activated in every case: the offscreen platform grants what a compositor would with the token.
    QTRY_VERIFY(target.isActive());
}

void TestWindowActivation::latestTokenWins()
{
    QWindow target;
    target.resize(200, 100);
    WindowActivation activation;
    activation.setToken(u"first"_qs);
    QCOMPARE(activation.activate(&target), Outcome::TokenUsed);
    activation.setToken(u"second"_qs);
    activation.setToken(u"not usable"_qs);
    QCOMPARE(activation.pendingToken(), u"second"_qs);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    QTRY_COMPARE(activation.pendingToken(), QString());
    // Spent: the next activation has none.
    QCOMPARE(activation.activate(&target), Outcome::AlreadyActive);
}

QTEST_MAIN(TestWindowActivation)
#include "test_windowactivation.moc"
