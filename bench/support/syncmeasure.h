// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// A full sync through the real client and engine, and the floor it is compared with: the same pages fetched,
// decoded and inserted by hand. Shared by the benchmarks that print the two side by side.

struct FullSync
{
    qint64 applied = -1; // records the engine applied; -1 when the sync failed (the error went to stderr)
    double seconds = 0;
};

// Syncs everything the server at `server` holds into a new file-backed cache at `cachePath`, and closes it.
FullSync timedFullSync(QNetworkAccessManager& network, const QUrl& server, const QString& cachePath);

struct Floor
{
    double fetchSeconds = 0;
    double decodeSeconds = 0;
    double insertSeconds = 0;
    // The application list and every icon, which a sync requests after its last page: fetched, decoded and
    // stored like the pages, with nothing but the C API, and counted in the three figures above as well.
    double appsSeconds = 0;
    double seconds() const { return fetchSeconds + decodeSeconds + insertSeconds; }
};

// The same requests a full sync of `messageCount` messages makes: the pages, decoded with the client's decoder and
// inserted with the raw SQLite C API into a new file at `databasePath`, one transaction per page, a page at a time
// as the sync goes; then the application list and, one at a time in list order, the icon of each application that
// has one, stored in one transaction. Each step is timed alone.
Floor measureFloor(
    QNetworkAccessManager& network, const QUrl& server, qint64 messageCount, const QString& databasePath);
