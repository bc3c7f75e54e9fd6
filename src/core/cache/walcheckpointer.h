// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace tidewell {

// Copies the cache's write-ahead log back into its file on a thread of its own, through a connection of its own.
// SQLite would otherwise make that copy inside the commit that fills the log, on the UI thread: after clearing a
// large application or during a long sync, hundreds of milliseconds at a time. The copy runs beside readers and
// the writer; a commit only asks for it.
class WalCheckpointer
{
public:
    // The log is copied once it holds this many pages (SQLite's own threshold).
    static constexpr int pagesBeforeCopy = 1000;

    explicit WalCheckpointer(QByteArray file);
    // Stops the thread; a copy under way finishes first.
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // Wakes the thread for one more copy. Never waits for a copy.
    void request();

private:
    void run(std::stop_token stop);

    QByteArray m_file;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    bool m_requested = false;
    std::jthread m_thread; // last, so that it stops before the rest goes
};

} // namespace tidewell
