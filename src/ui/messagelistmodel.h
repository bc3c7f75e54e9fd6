// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/listprojection.h"
#include "ui/appiconcache.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>

namespace tidewell {

class AppState;
class ListProjection;

// The message list: the filtered messages in display order, read from the live projection; each row's text is
// read from the cache only when a view asks for it. Whether a row is unread or selected follows the state.
class MessageListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role
    {
        // The server's texts of a row (the header as DisplayRole, BodyRole, LinkTextRole) come as the row shows
        // them: without control characters, each line an isolated run.
        MessageIdRole = Qt::UserRole + 1, // qint64
        BodyRole, // QString
        TsRole, // qint64, seconds since the Unix epoch
        PriorityRole, // qint64
        UnreadRole, // bool
        SelectedRole, // bool: the state's selected message
        LinkUrlRole, // QUrl, only for http and https addresses
        LinkTextRole, // QString
        HasAppRole, // bool: the message's application is cached
        AppNameRole, // QString: for the avatar's initial, so not isolated
        AppColourRole, // QColor, invalid when it does not parse
        AppIconRole, // QImage
        PlainBodyRole, // QString: the message's text to hand on (the clipboard), without the isolate marks
    };

    struct Texts
    {
        static QString accessibleText(bool unread, const QString& header, const QString& body);
    };

    MessageListModel(AppState& state, ListProjection& projection, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The row that shows a message; -1 when it is not listed.
    int rowOf(qint64 messageId) const;

private:
    static QList<int> rolesOf(ListProjection::RowChanges what);

    AppState& m_state;
    ListProjection& m_projection;
    std::optional<qint64> m_selected; // the selected message as last shown, to repaint only its rows
    mutable AppIconCache m_icons;
};

} // namespace tidewell
