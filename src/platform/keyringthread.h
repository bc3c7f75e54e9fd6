// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <qt6keychain/keychain.h>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

namespace tidewell {

// Runs secret-store jobs on a thread that exists for them alone. QtKeychain delivers a job's result through the
// event loop of the thread that started it; this thread's loop serves only these jobs, and hands each outcome back
// to the caller's loop, which keeps running while the store asks the user (an unlock prompt, say).
//
// The library makes blocking D-Bus calls of its own on this thread; a secret service that is wedged can hold it
// there far longer than anyone waits for a program to quit. Stopping it is therefore bounded: a thread that does not
// end in time is left to the process's exit.
class KeyringThread
{
public:
    struct Outcome
    {
        QKeychain::Error error = QKeychain::OtherError;
        QString message;
        QByteArray data;
    };

    explicit KeyringThread(std::chrono::milliseconds stopBound = std::chrono::seconds(3));
    ~KeyringThread();
    KeyringThread(const KeyringThread&) = delete;
    KeyringThread& operator=(const KeyringThread&) = delete;

    // `makeJob` runs on the job thread, so the job is created, started, finished and deleted there; answering none
    // fails the operation. A job the store never answers never finishes, and neither does the returned task.
    QCoro::Task<Outcome> run(std::function<QKeychain::Job*()> makeJob);

    // Asks the thread to end and waits for it at most `bound`. True once it has ended; may be called again.
    bool stop(std::chrono::milliseconds bound);

    // The process's one instance, stopped within its bound when the application object goes.
    static KeyringThread& instance();

private:
    std::chrono::milliseconds m_stopBound;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_context; // lives on m_thread; queued calls to it run there
};

} // namespace tidewell
