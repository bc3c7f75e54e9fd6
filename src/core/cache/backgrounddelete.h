// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <thread>

struct sqlite3;

namespace tidewell {

// One write to the cache's file, made in one transaction on a thread of its own through a connection of its own,
// so that SQLite's work on a large delete (rows spread over a third of the file's pages) never holds up the UI
// thread. The thread opens its connection, runs the statement, commits, closes the connection and ends; it calls
// `done` just before it ends, on its own thread. What it did is read with join(), on the thread that started it.
class BackgroundDelete
{
public:
    struct Outcome
    {
        qint64 changedRows = 0;
        int logPages = 0; // the write-ahead log's size after the commit, in pages
        std::optional<QString> error; // the write was rolled back
    };

    // Runs `sql`, with `argument` bound to its one parameter, in the database file `file`.
    BackgroundDelete(QByteArray file, QByteArray sql, qint64 argument, std::function<void()> done);
    // Waits for the thread: a write under way is finished, never cut short.
    ~BackgroundDelete();
    BackgroundDelete(const BackgroundDelete&) = delete;
    BackgroundDelete& operator=(const BackgroundDelete&) = delete;

    // Waits for the thread if it is still running (a commit in progress), then returns what it did.
    const Outcome& join();

private:
    void run();
    static int logGrew(void* outcome, sqlite3* db, const char* name, int pages);

    QByteArray m_file;
    QByteArray m_sql;
    qint64 m_argument;
    std::function<void()> m_done;
    Outcome m_outcome; // written by the thread alone until it has ended
    std::thread m_thread; // last, so that it starts once the rest is in place
};

} // namespace tidewell
