// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace tidewell {

// Keeps one running Tidewell per user and profile. The first launch becomes the primary and listens on a local
// socket; a later launch hands its arguments (a link URL from the desktop, say) to the primary and exits. Link
// URLs carry a device secret, so the socket lives in the user's private runtime folder, is created accessible to
// the user alone, and both ends check that the other end runs as the same user.
//
// A launch may carry an activation token (what lets a window come to the front on Wayland, or the startup id on
// X11); it travels with the arguments, since only the primary has a window to give it to.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Largest argument payload accepted in one hand-over; anything longer is dropped unread.
    static constexpr qsizetype maxPayloadSize = 64 * 1024;
    // Largest activation token handed over, in UTF-8 bytes; real ones are a few dozen. A longer one is left behind
    // and the arguments go alone.
    static constexpr qsizetype maxTokenSize = 1024;
    // Hand-over connections served at once; each may be held open for up to 30 s, so more are closed at once.
    static constexpr int maxConnections = 8;

    // Hand-over connections being served now; one a launch closed counts until the primary has seen it go.
    int openConnections() const { return m_connections; }

    // The socket name for the current user and an optional profile, so that two profiles run side by side.
    static QString serverName(const QString& profile = {});

    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // What a launch turned out to be.
    enum class Launch
    {
        BecamePrimary, // no live instance held the name (a stale socket was replaced): this one runs
        HandedOver, // the running primary confirmed receipt of the arguments: this one leaves
        PrimaryUnresponsive, // an instance is alive but did not take the arguments within the patience
        TooLarge, // an instance is alive, and the arguments cannot be handed to it in one frame
        NameUnavailable, // nobody answers on the name, yet it cannot be listened on
        OwnedByAnotherUser, // the socket or its lock file belongs to another account: see foreignPath()
    };

    // Becomes the primary, or hands the arguments to the one that runs. A busy primary is waited for, and a primary
    // that goes away meanwhile is succeeded, up to `patience` in all; this process becomes the primary only when no
    // live one is left, never beside one. Blocks without processing events, so call it before the event loop runs.
    Launch becomePrimaryOrHandOver(
        const QStringList& arguments, std::chrono::milliseconds patience, const QString& activationToken = {});

    // True when this process is (now) the primary and listens for hand-overs. False when another live instance
    // answers on the name, or when the name cannot be taken; a socket left behind by a crashed instance is
    // replaced.
    bool tryBecomePrimary();
    bool isPrimary() const;
    QString name() const { return m_name; }
    // The file of another account found in the name's place by the last attempt; empty when there was none.
    QString foreignPath() const { return m_foreignPath; }

    // Hands the arguments to the primary listening on the name. True once the primary has confirmed receipt; false
    // when no instance answers within the time-out, the peer is another user, or an argument holds a NUL character
    // (which no command line can carry). A primary too old to take a token is given the arguments alone.
    static bool sendToPrimary(
        const QString& name, const QStringList& arguments, int timeoutMs, const QString& activationToken = {});

signals:
    // The token is empty when the launch had none (or came from a version that did not pass it on).
    void argumentsReceived(const QStringList& arguments, const QString& activationToken);

private:
    enum class Claim
    {
        Taken,
        HeldByAnother, // a live instance answers, or another launch is deciding right now
        Foreign, // a file in the name's place belongs to another account
        Failed,
    };

    Claim claim();
    void acceptConnections();
    void serve(QLocalSocket* socket);

    QString m_name;
    QLocalServer* m_server;
    QString m_foreignPath;
    int m_connections = 0;
};

} // namespace tidewell
