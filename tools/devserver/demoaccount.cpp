// SPDX-License-Identifier: GPL-3.0-or-later
#include "demoaccount.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <array>

namespace tidewell {

namespace {

// A server-rack glyph on a blue disc, drawn rather than shipped so that the server has no asset to keep.
QByteArray drawServerIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x15, 0x65, 0xC0));
        painter.drawEllipse(QRectF(0, 0, 64, 64));
        for (int slot = 0; slot < 3; ++slot) {
            const QRectF unit(16, 15 + slot * 12, 32, 9);
            painter.setBrush(Qt::white);
            painter.drawRoundedRect(unit, 2, 2);
            painter.setBrush(slot == 1 ? QColor(0xFF, 0x98, 0x00) : QColor(0x43, 0xA0, 0x47));
            painter.drawEllipse(QPointF(unit.right() - 5, unit.center().y()), 2, 2);
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

struct Template
{
    int app; // index into the seeded applications
    int priority;
    const char* title; // nullptr for none
    const char* text; // %1 is a running number
    const char* url; // nullptr for none
    const char* urlTitle;
    const char* sound;
};

// Varied enough that every priority, a missing title, a bare link and a titled link all occur in the first dozen.
constexpr Template templates[] = {
    { 0, 0, "Backup complete", "Nightly backup #%1 of /home finished: 14.2 GB in 6 min.", nullptr, nullptr, nullptr },
    { 1, -1, nullptr, "CPU temperature back to normal (52 \u00b0C) after run %1.", nullptr, nullptr, nullptr },
    { 2, 0, "Deployed", "web-frontend v2.14.%1 is live on production.", "https://deploy.example.com/releases/%1",
        "Release notes", nullptr },
    { 3, -2, nullptr, "Daily summary %1: high 21 \u00b0C, low 12 \u00b0C, 3 mm of rain.", nullptr, nullptr, nullptr },
    { 1, 2, "Disk health", "/dev/sda reports %1 reallocated sectors \u2014 replace it soon.",
        "https://status.example.com/disks/sda", nullptr, "siren" },
    { 0, 1, "Backup failed", "Backup #%1 of /srv/photos failed: destination disk is full.",
        "https://status.example.com/backups/%1", "Open the backup log", "falling" },
    { 2, 1, nullptr, "Build %1 of api-server failed on the integration tests.", nullptr, nullptr, nullptr },
    { 3, 0, "Rain ahead", "Rain expected from 16:00 (forecast %1), about 4 mm.", nullptr, nullptr, nullptr },
    { 1, 0, nullptr, "Container photoprism restarted (restart %1).", nullptr, nullptr, nullptr },
    { 2, -1, "Preview ready", "Preview environment pr-%1 is ready.", "https://pr.deploy.example.com/%1", "Open preview",
        nullptr },
    { 3, -1, nullptr, "Outdoor sensor #%1 reports a low battery.", nullptr, nullptr, nullptr },
    { 0, -2, nullptr, "Snapshot %1 pruned.", nullptr, nullptr, nullptr },
};

std::optional<QString> optionalText(const char* text, int number)
{
    if (!text)
        return std::nullopt;
    QString value = QString::fromUtf8(text);
    return value.contains(u"%1"_qs) ? value.arg(number) : value;
}

} // namespace

DemoAccount::DemoAccount(std::chrono::seconds linkLifetime)
    : m_linkLifetime(linkLifetime)
{ }

qint64 DemoAccount::addApp(QString name, QString color, QByteArray icon)
{
    const qint64 id = m_apps.isEmpty() ? 1 : m_apps.last().id + 1;
    m_apps.append({ id, std::move(name), std::move(color), std::move(icon) });
    return id;
}

void DemoAccount::seed(int messageCount)
{
    const qint64 ids[] = {
        addApp(u"Backups"_qs, u"#2E7D32"_qs, {}),
        addApp(u"Home Server"_qs, u"#1565C0"_qs, drawServerIcon()),
        addApp(u"Deploys"_qs, u"#EF6C00"_qs, {}),
        addApp(u"Weather Station"_qs, u"#6A1B9A"_qs, {}),
    };
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    constexpr qsizetype templateCount = sizeof(templates) / sizeof(templates[0]);
    for (int i = 0; i < messageCount; ++i) {
        const Template& t = templates[i % templateCount];
        const int number = 100 + i;
        Message message;
        message.applicationId = ids[t.app];
        message.title = optionalText(t.title, number);
        message.text = *optionalText(t.text, number);
        message.priority = t.priority;
        message.url = optionalText(t.url, number);
        message.urlTitle = optionalText(t.urlTitle, number);
        message.sound = optionalText(t.sound, number);
        message.ts = now - qint64(messageCount - i) * 300 - 120; // five minutes apart, the newest two minutes old
        addMessage(std::move(message));
    }
}

const DemoAccount::App* DemoAccount::app(qint64 id) const
{
    const auto found = std::find_if(m_apps.begin(), m_apps.end(), [id](const App& app) { return app.id == id; });
    return found == m_apps.end() ? nullptr : &*found;
}

QList<DemoAccount::Message> DemoAccount::messagesAfter(qint64 since, int limit, bool& hasMore) const
{
    const auto first = std::upper_bound(
        m_messages.begin(), m_messages.end(), since, [](qint64 id, const Message& m) { return id < m.id; });
    const qsizetype available = m_messages.end() - first;
    const qsizetype count = std::min<qsizetype>(available, std::max(limit, 0));
    hasMore = available > count;
    return QList<Message>(first, first + count);
}

int DemoAccount::messageCount(qint64 applicationId) const
{
    return int(std::count_if(m_messages.begin(), m_messages.end(),
        [applicationId](const Message& m) { return m.applicationId == applicationId; }));
}

qint64 DemoAccount::addMessage(Message message)
{
    message.id = ++m_lastMessageId; // never reused, even after deletes, so "since" paging stays exact
    if (message.ts == 0)
        message.ts = QDateTime::currentSecsSinceEpoch();
    m_messages.append(std::move(message));
    return m_lastMessageId;
}

bool DemoAccount::removeMessage(qint64 id)
{
    return m_messages.removeIf([id](const Message& m) { return m.id == id; }) > 0;
}

int DemoAccount::removeMessagesOf(qint64 applicationId)
{
    return int(m_messages.removeIf([applicationId](const Message& m) { return m.applicationId == applicationId; }));
}

QString DemoAccount::newSecret()
{
    // 32 random bytes: 43 characters of base64url, above what a link URL must carry.
    std::array<quint32, 8> words;
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), sizeof(words));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

DemoAccount::Device& DemoAccount::issueDevice(const QString& origin)
{
    const qint64 id = m_devices.isEmpty() ? 1 : m_devices.last().id + 1;
    m_devices.append({ id, newSecret(), origin, 0, std::nullopt, false, false });
    return m_devices.last();
}

DemoAccount::Device* DemoAccount::liveDevice(const QString& secret)
{
    for (Device& device : m_devices) {
        if (!device.revoked && device.secret == secret)
            return &device;
    }
    return nullptr;
}

QString DemoAccount::newCode() const
{
    const QLatin1String alphabet(codeAlphabet);
    // Bounded: with 54^6 codes a collision among a handful of live requests is already unlikely once.
    QString code;
    for (int attempt = 0; attempt < 100; ++attempt) {
        code.clear();
        for (int i = 0; i < 6; ++i)
            code += alphabet.at(QRandomGenerator::system()->bounded(int(alphabet.size())));
        if (!std::any_of(m_links.begin(), m_links.end(), [&](const LinkRequest& l) { return l.code == code; }))
            break;
    }
    return code;
}

const DemoAccount::LinkRequest& DemoAccount::startLink()
{
    // Expired requests can no longer be approved; dropping them here keeps the list bounded.
    m_links.removeIf([](const LinkRequest& link) { return link.expiry.hasExpired(); });
    m_links.append({ newCode(), newSecret(), QDeadlineTimer(m_linkLifetime), false });
    return m_links.last();
}

DemoAccount::LinkRequest* DemoAccount::linkByPollToken(const QString& pollToken)
{
    for (LinkRequest& link : m_links) {
        if (link.pollToken == pollToken)
            return &link;
    }
    return nullptr;
}

DemoAccount::LinkRequest* DemoAccount::linkByCode(const QString& code)
{
    for (LinkRequest& link : m_links) {
        if (link.code == code)
            return &link;
    }
    return nullptr;
}

void DemoAccount::forgetLink(const QString& pollToken)
{
    m_links.removeIf([&](const LinkRequest& link) { return link.pollToken == pollToken; });
}

int DemoAccount::pendingLinkCount() const
{
    return int(std::count_if(m_links.begin(), m_links.end(),
        [](const LinkRequest& link) { return !link.approved && !link.expiry.hasExpired(); }));
}

} // namespace tidewell
