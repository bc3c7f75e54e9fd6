#include "lists/listrules.h"

#include <QLocale>

#include <algorithm>

namespace tidewell {

namespace {

const QString allMessagesTitle = QStringLiteral("All Messages");
const QString unknownAppTitle = QStringLiteral("Messages");
const QString untitledHeader = QStringLiteral("Message");
const QString cappedBadge = QStringLiteral("99+");
constexpr qint64 largestShownCount = 99;

bool matchesSearch(const CachedMessage& message, const QString& loweredQuery, const QLocale& locale)
{
    if (locale.toLower(message.message).contains(loweredQuery))
        return true;
    return message.title && locale.toLower(*message.title).contains(loweredQuery);
}

// Colours arrive trimmed of spaces and tabs only: a line break inside the value means it is not a colour.
bool isTrimmedFromColor(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

int hexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

QHash<qint64, CachedMessage> ListRules::latestByApp(const QList<CachedMessage>& messages)
{
    // Positions first, records copied once at the end: most messages replace nothing, some replace often.
    QHash<qint64, qsizetype> latest;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const CachedMessage& message = messages[i];
        auto stored = latest.find(message.applicationId);
        if (stored == latest.end()) {
            latest.insert(message.applicationId, i);
            continue;
        }
        const CachedMessage& current = messages[*stored];
        if (current.ts < message.ts || (current.ts == message.ts && current.id < message.id))
            *stored = i;
    }
    QHash<qint64, CachedMessage> result;
    result.reserve(latest.size());
    for (auto it = latest.cbegin(); it != latest.cend(); ++it)
        result.insert(it.key(), messages[it.value()]);
    return result;
}

QHash<qint64, int> ListRules::unreadByApp(const QList<CachedMessage>& messages, qint64 lastReadId)
{
    QHash<qint64, int> counts;
    for (const CachedMessage& message : messages) {
        if (isUnread(message, lastReadId))
            ++counts[message.applicationId];
    }
    return counts;
}

int ListRules::totalUnread(const QHash<qint64, int>& unreadByApp)
{
    int total = 0;
    for (int count : unreadByApp)
        total += count;
    return total;
}

QSet<qint64> ListRules::highPriorityUnreadApps(const QList<CachedMessage>& messages, qint64 lastReadId)
{
    QSet<qint64> apps;
    for (const CachedMessage& message : messages) {
        if (isUnread(message, lastReadId) && message.priority > 0)
            apps.insert(message.applicationId);
    }
    return apps;
}

QHash<qint64, CachedApp> ListRules::appsById(const QList<CachedApp>& apps)
{
    QHash<qint64, CachedApp> byId;
    byId.reserve(apps.size());
    for (const CachedApp& app : apps)
        byId.insert(app.id, app);
    return byId;
}

QList<CachedMessage> ListRules::filtered(const QList<CachedMessage>& all, std::optional<qint64> selectedAppId,
    const QString& searchText, MessageSort messageSort)
{
    const QLocale locale;
    const QString loweredQuery = locale.toLower(searchText);
    QList<qsizetype> survivors;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const CachedMessage& message = all[i];
        if (selectedAppId && message.applicationId != *selectedAppId)
            continue;
        if (!searchText.isEmpty() && !matchesSearch(message, loweredQuery, locale))
            continue;
        survivors.append(i);
    }

    // Ties left by the ordering (titles that differ only in case) show the base order, which must not depend on
    // how the caller happened to list the records. The store's query is already id-descending, so this is
    // normally a single check.
    const auto byIdDescending = [&](qsizetype left, qsizetype right) { return all[left].id > all[right].id; };
    if (!std::is_sorted(survivors.cbegin(), survivors.cend(), byIdDescending))
        std::stable_sort(survivors.begin(), survivors.end(), byIdDescending);

    QList<CachedMessage> result;
    result.reserve(survivors.size());
    for (qsizetype position : messageSort.orderedPositions(all, survivors))
        result.append(all[position]);
    return result;
}

QString ListRules::title(std::optional<qint64> selectedAppId, const QHash<qint64, CachedApp>& appsById)
{
    if (!selectedAppId)
        return allMessagesTitle;
    const auto app = appsById.constFind(*selectedAppId);
    return app == appsById.constEnd() ? unknownAppTitle : app->name;
}

ListRules::PriorityMark ListRules::priorityMark(qint64 priority)
{
    if (priority < 1)
        return PriorityMark::None;
    return priority == 1 ? PriorityMark::High : PriorityMark::Emergency;
}

std::optional<QString> ListRules::badgeText(qint64 count)
{
    if (count < 1)
        return std::nullopt;
    return count > largestShownCount ? cappedBadge : QString::number(count);
}

QString ListRules::headerText(const CachedMessage& message, const CachedApp* app)
{
    if (message.title)
        return *message.title;
    return app ? app->name : untitledHeader;
}

std::optional<ListRules::Link> ListRules::link(const CachedMessage& message)
{
    if (!message.url)
        return std::nullopt;
    const QUrl url(*message.url, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return std::nullopt;
    return Link { url, message.urlTitle.value_or(*message.url) };
}

std::optional<ListRules::Rgb> ListRules::colorFromHex(const QString& hex)
{
    QStringView text(hex);
    while (!text.isEmpty() && isTrimmedFromColor(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isTrimmedFromColor(text.back()))
        text.chop(1);
    if (text.startsWith(u'#'))
        text = text.sliced(1);
    if (text.size() != 6)
        return std::nullopt;

    // Six characters of an unsigned base-16 number, which may carry a sign: "+" always, "-" only on zero.
    bool negative = false;
    if (text.front() == u'+' || text.front() == u'-') {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    Rgb value = 0;
    for (QChar c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | Rgb(digit);
    }
    if (negative && value != 0)
        return std::nullopt;
    return 0xff000000u | value;
}

} // namespace tidewell
