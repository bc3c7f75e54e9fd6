// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/appiconcache.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>

namespace tidewell {

class ListProjection;

// The sidebar: an "All Messages" row, then one row per cached application in the chosen order, read from the
// live projection. Row 0 has no application id. The server's texts (the name as DisplayRole, the preview) come
// without control characters but not isolated: the row's painter isolates what it draws, while the name stays
// text that typing into the list finds and whose first character is the avatar's initial.
class AppListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role
    {
        AppIdRole = Qt::UserRole + 1, // qint64, or no value for "All Messages"
        UnreadRole, // qint64
        HighPriorityRole, // bool
        LatestTsRole, // qint64, or no value when the application has no message
        PreviewRole, // QString: the latest message's text, without control characters
        ColourRole, // QColor, invalid when the application's colour does not parse
        IconRole, // QImage, null when the application has none that decodes
    };

    struct Texts
    {
        static QString accessibleName(const QString& name, qint64 unread);
    };

    explicit AppListModel(ListProjection& projection, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The row of an application, row 0 for none; -1 when the application is not listed.
    int rowOf(std::optional<qint64> applicationId) const;

private:
    ListProjection& m_projection;
    qint64 m_totalUnread = 0; // as "All Messages" last showed it
    mutable AppIconCache m_icons;
};

} // namespace tidewell
