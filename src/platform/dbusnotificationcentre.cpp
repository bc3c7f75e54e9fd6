// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dbusnotificationcentre.h"

#include "base/servertext.h"
#include "platform/gnomenotificationswitch.h"

#include <QCoroDBus>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QImage>

namespace tidewell::detail {

// The "image-data" hint: raw pixels, so the server needs no image decoder and no file of ours.
struct NotificationImage
{
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray data;
};

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image)
{
    argument.beginStructure();
    argument << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
             << image.channels << image.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage& image)
{
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample
        >> image.channels >> image.data;
    argument.endStructure();
    return argument;
}

} // namespace tidewell::detail

Q_DECLARE_METATYPE(tidewell::detail::NotificationImage)

namespace tidewell {

namespace {

const QString messageIdKey = QStringLiteral("mid");
const QString applicationIdKey = QStringLiteral("aid");

QDBusMessage busCall(const char* method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), QLatin1String(method));
}

QDBusMessage serverCall(const char* method)
{
    return QDBusMessage::createMethodCall(QLatin1String(DBusNotificationCentre::serviceName),
        QLatin1String(DBusNotificationCentre::objectPath), QLatin1String(DBusNotificationCentre::interfaceName),
        QLatin1String(method));
}

bool answered(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

// Icons that do not decode are left out rather than failing the notification.
std::optional<detail::NotificationImage> imageFrom(const QByteArray& bytes)
{
    QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return std::nullopt;
    if (image.width() > DBusNotificationCentre::largestIconSide
        || image.height() > DBusNotificationCentre::largestIconSide)
        image = image.scaled(DBusNotificationCentre::largestIconSide, DBusNotificationCentre::largestIconSide,
            Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Byte order R, G, B, A whatever the machine's endianness, which is what the hint describes.
    image = image.convertToFormat(QImage::Format_RGBA8888);
    detail::NotificationImage data;
    data.width = image.width();
    data.height = image.height();
    data.rowStride = int(image.bytesPerLine());
    data.data = QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    return data;
}

} // namespace

QString DBusNotificationCentre::Texts::openAction()
{
    //: The action of a notification that opens its message.
    return tr("Open");
}

DBusNotificationCentre::DBusNotificationCentre(QDBusConnection bus, QObject* parent)
    : NotificationCentre(parent)
    , m_bus(bus)
    , m_watcher(QLatin1String(serviceName), bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    qDBusRegisterMetaType<detail::NotificationImage>();
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &DBusNotificationCentre::forgetServer);
    const QString service = QLatin1String(serviceName);
    const QString path = QLatin1String(objectPath);
    const QString iface = QLatin1String(interfaceName);
    // Bound to the server's name, so the same signals from any other sender are never taken for a click.
    m_bus.connect(service, path, iface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(
        service, path, iface, QStringLiteral("ActivationToken"), this, SLOT(onActivationToken(uint, QString)));
    m_bus.connect(
        service, path, iface, QStringLiteral("NotificationClosed"), this, SLOT(onNotificationClosed(uint, uint)));
}

QCoro::Task<bool> DBusNotificationCentre::requestAuthorization()
{
    return statusOn(m_bus).then([](AuthorizationStatus status) { return status == AuthorizationStatus::Authorized; });
}

QCoro::Task<NotificationCentre::AuthorizationStatus> DBusNotificationCentre::authorizationStatus()
{
    return statusOn(m_bus);
}

QCoro::Task<NotificationCentre::AuthorizationStatus> DBusNotificationCentre::statusOn(QDBusConnection bus)
{
    const bool present = co_await serverPresent(bus);
    if (!present)
        co_return AuthorizationStatus::Unavailable;
    // GNOME's server answers for every application and its shell then drops what the user switched off for Tidewell.
    const std::optional<bool> switchedOn = GnomeNotificationSwitch::current();
    if (switchedOn && !*switchedOn)
        co_return AuthorizationStatus::Denied;
    co_return AuthorizationStatus::Authorized;
}

// A server that the bus starts on the first notification counts as present: that is how many desktops run theirs.
QCoro::Task<bool> DBusNotificationCentre::serverPresent(QDBusConnection bus)
{
    if (!bus.isConnected())
        co_return false;
    const QString service = QLatin1String(serviceName);

    QDBusMessage ownerQuery = busCall("NameHasOwner");
    ownerQuery << service;
    const QDBusPendingCall owner = bus.asyncCall(ownerQuery);
    const QDBusMessage ownerReply = co_await owner;
    if (answered(ownerReply) && ownerReply.arguments().constFirst().toBool())
        co_return true;

    const QDBusPendingCall activatable = bus.asyncCall(busCall("ListActivatableNames"));
    const QDBusMessage activatableReply = co_await activatable;
    const bool startable
        = answered(activatableReply) && activatableReply.arguments().constFirst().toStringList().contains(service);
    co_return startable;
}

QCoro::Task<std::optional<quint32>> DBusNotificationCentre::post(MessageAlert alert)
{
    return send(QPointer<DBusNotificationCentre>(this), m_bus, std::move(alert));
}

QCoro::Task<std::optional<quint32>> DBusNotificationCentre::send(
    QPointer<DBusNotificationCentre> self, QDBusConnection bus, MessageAlert alert)
{
    if (!self)
        co_return std::nullopt;
    if (!self->m_bodyMarkup) {
        const QDBusPendingCall capabilities = bus.asyncCall(serverCall("GetCapabilities"));
        const QDBusMessage reply = co_await capabilities;
        if (!self)
            co_return std::nullopt;
        if (answered(reply))
            self->m_bodyMarkup = reply.arguments().constFirst().toStringList().contains(u"body-markup"_qs);
    }
    // The texts are whatever the message's sender posted. Control characters go, and only they: a NUL would end the
    // string on the bus and lose the rest, and no reader can see the others. Direction controls are closed inside
    // each text, so that an override reaches nothing the server sets beside it.
    const QString summary = ServerText::plain(alert.summary);
    const QString plainBody = ServerText::plain(alert.body);
    // Text from a server's message is never meant as markup; a server that renders it would drop or mangle
    // anything that looks like a tag or an entity.
    const QString body = self->m_bodyMarkup.value_or(false) ? plainBody.toHtmlEscaped() : plainBody;

    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(alert.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), QLatin1String(desktopEntry));
    if (alert.icon) {
        if (const std::optional<detail::NotificationImage> image = imageFrom(*alert.icon))
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(*image));
    }
    const QStringList actions { QLatin1String(defaultAction), Texts::openAction() };

    QDBusMessage notify = serverCall("Notify");
    notify << QLatin1String(appName) << uint(0) << QString() << summary << body << actions << hints << int(-1);
    const QDBusPendingCall pending = bus.asyncCall(notify);
    const QDBusMessage reply = co_await pending;
    if (!self || !answered(reply))
        co_return std::nullopt;

    QVariantMap payload;
    if (alert.messageId)
        payload.insert(messageIdKey, *alert.messageId);
    if (alert.applicationId)
        payload.insert(applicationIdKey, *alert.applicationId);
    const quint32 id = reply.arguments().constFirst().toUInt();
    self->m_posted.insert(id, payload);
    co_return std::optional<quint32>(id);
}

// Only a click on a notification of ours may bring Tidewell forward; another application's token is its own.
void DBusNotificationCentre::onActivationToken(uint id, const QString& token)
{
    if (!token.isEmpty() && m_posted.contains(id))
        emit activationTokenReceived(token);
}

void DBusNotificationCentre::onActionInvoked(uint id, const QString& actionKey)
{
    if (actionKey != QLatin1String(defaultAction))
        return;
    const auto posted = m_posted.constFind(id);
    if (posted == m_posted.cend())
        return;
    const QVariantMap payload = *posted;
    emit didReceiveResponse(payload);
}

void DBusNotificationCentre::onNotificationClosed(uint id, uint)
{
    m_posted.remove(id);
}

void DBusNotificationCentre::forgetServer()
{
    m_posted.clear();
    m_bodyMarkup.reset();
}

} // namespace tidewell
