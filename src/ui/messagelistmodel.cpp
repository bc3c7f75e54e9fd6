// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/messagelistmodel.h"

#include "base/servertext.h"
#include "lists/listpresentation.h"
#include "lists/listprojection.h"
#include "lists/listrules.h"
#include "state/appstate.h"

namespace tidewell {

// Assistive technologies read a label in logical order, where isolate marks change nothing and some would spell
// them out; the server's texts come in plain, their own direction controls closed so they reach no further.
QString MessageListModel::Texts::accessibleText(bool unread, const QString& header, const QString& body)
{
    //: Read aloud for a message row: %1 is the message's title line, %2 its text.
    return (unread ? tr("Unread. %1. %2") : tr("Read. %1. %2")).arg(ServerText::plain(header), ServerText::plain(body));
}

MessageListModel::MessageListModel(AppState& state, ListProjection& projection, QObject* parent)
    : QAbstractListModel(parent)
    , m_state(state)
    , m_projection(projection)
    , m_selected(state.selectedMessageId())
{
    // The projection tells each range before its rows change and again after, which is what persistent indexes (the
    // current row, the selection) and the view's measured heights need to follow the rows.
    connect(&projection, &ListProjection::messagesAboutToBeInserted, this,
        [this](qsizetype first, qsizetype last) { beginInsertRows({}, int(first), int(last)); });
    connect(&projection, &ListProjection::messagesInserted, this, &MessageListModel::endInsertRows);
    connect(&projection, &ListProjection::messagesAboutToBeRemoved, this,
        [this](qsizetype first, qsizetype last) { beginRemoveRows({}, int(first), int(last)); });
    connect(&projection, &ListProjection::messagesRemoved, this, &MessageListModel::endRemoveRows);
    connect(&projection, &ListProjection::messagesChanged, this,
        [this](qsizetype first, qsizetype last, ListProjection::RowChanges what) {
            emit dataChanged(index(int(first)), index(int(last)), rolesOf(what));
        });
    // The projection has already changed its rows when it says the list is new: nothing of the old list is read.
    connect(&projection, &ListProjection::messagesReset, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&state, &AppState::selectedMessageIdChanged, this, [this] {
        for (const std::optional<qint64> id : { std::exchange(m_selected, m_state.selectedMessageId()), m_selected }) {
            const int row = id ? rowOf(*id) : -1;
            if (row >= 0)
                emit dataChanged(index(row), index(row), { SelectedRole });
        }
    });
}

// The read position changes only whether a row is unread and what is read aloud for it; anything else may change
// every role.
QList<int> MessageListModel::rolesOf(ListProjection::RowChanges what)
{
    if (what == ListProjection::Unread)
        return { UnreadRole, Qt::AccessibleTextRole };
    return {};
}

int MessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_projection.messageCount());
}

int MessageListModel::rowOf(qint64 messageId) const
{
    const std::optional<qsizetype> row = m_projection.rowOfMessage(messageId);
    return row ? int(*row) : -1;
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ListProjection::MessageRow& row = m_projection.messageAt(index.row());
    switch (role) {
    case MessageIdRole:
        return row.id;
    case TsRole:
        return row.ts;
    case PriorityRole:
        return row.priority;
    case Qt::AccessibleDescriptionRole: // what the drawn priority mark says
        switch (ListPresentation::priorityMark(row.priority)) {
        case ListPresentation::PriorityMark::High:
            return tr("High priority");
        case ListPresentation::PriorityMark::Emergency:
            return tr("Emergency priority");
        case ListPresentation::PriorityMark::None:
            return QString();
        }
        return QString();
    case UnreadRole:
        return ListRules::isUnread(row.id, m_projection.lastReadId());
    case SelectedRole:
        return m_state.selectedMessageId() == row.id;
    case HasAppRole:
        return m_projection.app(row.applicationId) != nullptr;
    case AppNameRole:
        // Only its first character is drawn, which an isolate mark would take the place of.
        if (const CachedApp* app = m_projection.app(row.applicationId))
            return ServerText::plain(app->name);
        return QString();
    case AppColourRole:
        if (const CachedApp* app = m_projection.app(row.applicationId)) {
            if (const auto rgb = ListPresentation::colorFromHex(app->color))
                return QColor::fromRgb(*rgb);
        }
        return QColor();
    case AppIconRole: {
        const CachedApp* app = m_projection.app(row.applicationId);
        return app && app->icon ? m_icons.image(app->id, *app->icon) : QImage();
    }
    default:
        break;
    }

    // The rest needs the message's text.
    const std::optional<CachedMessage> message = m_projection.message(row.id);
    if (!message)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return ServerText::forDisplay(ListPresentation::headerText(*message, m_projection.app(row.applicationId)));
    case BodyRole:
        return ServerText::forDisplay(message->message);
    case PlainBodyRole:
        return ServerText::plain(message->message);
    case Qt::AccessibleTextRole:
        return Texts::accessibleText(ListRules::isUnread(row.id, m_projection.lastReadId()),
            ListPresentation::headerText(*message, m_projection.app(row.applicationId)), message->message);
    case LinkUrlRole:
        if (const auto link = ListPresentation::link(*message))
            return link->url;
        return QVariant();
    case LinkTextRole:
        if (const auto link = ListPresentation::link(*message))
            return ServerText::forDisplay(link->text);
        return QVariant();
    default:
        return {};
    }
}

} // namespace tidewell
