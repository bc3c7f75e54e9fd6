// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrl>

#include <functional>
#include <sys/types.h>

// An account served over loopback HTTP by a child process, so that the server's memory and CPU are not counted as
// the client's. It answers what a sync and the user's actions ask of the real server: pages of messages, the
// application list and icons, deleting a message, clearing an application and the read position. Two paths of its
// own let a benchmark change the account between measurements:
//
//   GET /bench/serve?count=N   serve messages 1..N, none deleted (a fresh account for the next size)
//   GET /bench/grow?count=N    the account gains N newer messages
//
// Messages are rendered once, in id order, and kept as JSON text, so that answering a page costs a copy rather
// than the server's own encoding; the figures then show the client.
class LoopbackServer
{
public:
    struct Account
    {
        qint64 messageCount = 0; // served from the start
        qint64 rendered = 0; // rendered up front; growing beyond it renders the rest on demand
        qint64 appCount = 0;
        // The message with this id. `random` is seeded with the id of the first message of each page of 200, so
        // that a message's text depends on its id alone.
        std::function<QJsonObject(qint64 id, QRandomGenerator& random)> message;
        QByteArray icon; // every application has this icon
    };

    // Forks the server. Call it before the program creates its QCoreApplication: the child makes its own.
    LoopbackServer(Account account, int argc, char** argv);
    // Stops the child and waits for it.
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool isRunning() const { return m_port != 0; }
    QUrl url() const;

private:
    pid_t m_child = -1;
    quint16 m_port = 0;
};
