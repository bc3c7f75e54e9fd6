// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/applistmodel.h"

#include "base/servertext.h"
#include "lists/listpresentation.h"
#include "lists/listprojection.h"

namespace tidewell {

// The name's own direction controls are closed inside it, so an override in it cannot turn the count around. The
// count goes in before the name: a name holding "%n" or "%1" stays as written.
QString AppListModel::Texts::accessibleName(const QString& name, qint64 unread)
{
    const QString plain = ServerText::plain(name);
    return unread < 1 ? plain : tr("%1, %n unread", nullptr, int(unread)).arg(plain);
}

AppListModel::AppListModel(ListProjection& projection, QObject* parent)
    : QAbstractListModel(parent)
    , m_projection(projection)
    , m_totalUnread(projection.totalUnread())
{
    // Applications come and go, and their order follows their summaries, rarely enough that a new list is simplest.
    connect(&projection, &ListProjection::appsReset, this, [this] {
        beginResetModel();
        m_totalUnread = m_projection.totalUnread();
        endResetModel();
    });
    // The same applications in the same order with other summaries; "All Messages" above them counts them all.
    connect(&projection, &ListProjection::appsChanged, this, [this](qsizetype first, qsizetype last) {
        const qint64 total = std::exchange(m_totalUnread, m_projection.totalUnread());
        emit dataChanged(index(total != m_totalUnread ? 0 : int(first) + 1), index(int(last) + 1));
    });
}

int AppListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_projection.appCount()) + 1;
}

int AppListModel::rowOf(std::optional<qint64> applicationId) const
{
    if (!applicationId)
        return 0;
    const std::optional<qsizetype> row = m_projection.rowOfApp(*applicationId);
    return row ? int(*row) + 1 : -1;
}

QVariant AppListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (index.row() == 0) {
        switch (role) {
        case Qt::DisplayRole:
            return ListPresentation::allMessagesTitle();
        case Qt::AccessibleTextRole:
            return Texts::accessibleName(ListPresentation::allMessagesTitle(), m_projection.totalUnread());
        case UnreadRole:
            return m_projection.totalUnread();
        case HighPriorityRole:
            return false;
        default:
            return {};
        }
    }
    const ListProjection::AppRow& row = m_projection.appAt(index.row() - 1);
    switch (role) {
    case Qt::DisplayRole:
        return ServerText::plain(row.app.name);
    case Qt::AccessibleTextRole:
        return Texts::accessibleName(row.app.name, row.unreadCount);
    case AppIdRole:
        return row.app.id;
    case UnreadRole:
        return row.unreadCount;
    case HighPriorityRole:
        return row.highPriorityUnread;
    case Qt::AccessibleDescriptionRole: // what the drawn mark says
        return row.highPriorityUnread ? tr("Has high-priority unread") : QString();
    case LatestTsRole:
        return row.latest ? QVariant(row.latest->ts) : QVariant();
    case PreviewRole:
        if (!row.latest)
            return QString();
        if (const std::optional<CachedMessage> latest = m_projection.message(row.latest->id))
            return ServerText::plain(latest->message);
        return QString();
    case ColourRole:
        if (const auto rgb = ListPresentation::colorFromHex(row.app.color))
            return QColor::fromRgb(*rgb);
        return QColor();
    case IconRole:
        return row.app.icon ? m_icons.image(row.app.id, *row.app.icon) : QImage();
    default:
        return {};
    }
}

} // namespace tidewell
