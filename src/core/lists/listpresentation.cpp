// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/listpresentation.h"

namespace tidewell {

namespace {

const QString cappedBadge = QStringLiteral("99+");
constexpr qint64 largestShownCount = 99;

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

QString ListPresentation::allMessagesTitle()
{
    return tr("All Messages");
}

QString ListPresentation::title(std::optional<qint64> selectedAppId, const CachedApp* selectedApp)
{
    if (!selectedAppId)
        return allMessagesTitle();
    return selectedApp ? selectedApp->name : tr("Messages");
}

ListPresentation::PriorityMark ListPresentation::priorityMark(qint64 priority)
{
    if (priority < 1)
        return PriorityMark::None;
    return priority == 1 ? PriorityMark::High : PriorityMark::Emergency;
}

std::optional<QString> ListPresentation::badgeText(qint64 count)
{
    if (count < 1)
        return std::nullopt;
    return count > largestShownCount ? cappedBadge : QString::number(count);
}

QString ListPresentation::headerText(const CachedMessage& message, const CachedApp* app)
{
    if (message.title)
        return *message.title;
    //: The title line of a message that has no title and whose application is unknown.
    return app ? app->name : tr("Message");
}

std::optional<ListPresentation::Link> ListPresentation::link(const CachedMessage& message)
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

std::optional<ListPresentation::Rgb> ListPresentation::colorFromHex(const QString& hex)
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
