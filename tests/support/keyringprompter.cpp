// SPDX-License-Identifier: GPL-3.0-or-later
#include "keyringprompter.h"

#include "testchild.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QThread>

#ifndef TIDEWELL_KEYRING_PROMPTER
#error "TIDEWELL_KEYRING_PROMPTER must name keyringprompter.py"
#endif

namespace {

const auto prompterName = QStringLiteral("org.gnome.keyring.SystemPrompter");
const auto prompterPath = QStringLiteral("/org/gnome/keyring/Prompter");
const auto controlInterface = QStringLiteral("org.tidewell.test.KeyringPrompter");
const auto secretsName = QStringLiteral("org.freedesktop.secrets");
const auto secretsPath = QStringLiteral("/org/freedesktop/secrets");
const auto serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");

QString replyName(KeyringPrompter::Reply reply)
{
    switch (reply) {
    case KeyringPrompter::Reply::Answer:
        return QStringLiteral("answer");
    case KeyringPrompter::Reply::Dismiss:
        return QStringLiteral("dismiss");
    case KeyringPrompter::Reply::Hold:
        break;
    }
    return QStringLiteral("hold");
}

// Blocking calls: the prompter and the keyring answer at once, and a fixture's call must not run the test's events.
QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
    const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block);
}

QDBusMessage callPrompter(const QString& method, const QVariantList& arguments = {})
{
    return call(prompterName, prompterPath, controlInterface, method, arguments);
}

std::optional<QDBusObjectPath> defaultCollection(QString* error)
{
    const QDBusMessage alias
        = call(secretsName, secretsPath, serviceInterface, QStringLiteral("ReadAlias"), { QStringLiteral("default") });
    if (alias.type() != QDBusMessage::ReplyMessage) {
        *error = alias.errorMessage();
        return std::nullopt;
    }
    const auto path = alias.arguments().value(0).value<QDBusObjectPath>();
    if (path.path() == u"/") {
        *error = QStringLiteral("the keyring has no default collection");
        return std::nullopt;
    }
    return path;
}

} // namespace

KeyringPrompter::KeyringPrompter(QString password, int giveUpAfterSeconds, QObject* parent)
    : QObject(parent)
    , m_password(std::move(password))
    , m_giveUpAfter(giveUpAfterSeconds)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startsAsTestChild(m_process);
}

KeyringPrompter::~KeyringPrompter()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString KeyringPrompter::start(Reply reply)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("no session bus");
    if (bus.interface()->isServiceRegistered(prompterName).value())
        return QStringLiteral("another prompter already serves on this bus");
    // Connected before the prompter starts, so that no prompt it announces is missed.
    if (!bus.connect(QString(), prompterPath, controlInterface, QStringLiteral("Prompted"), this,
            SLOT(onPrompted(QString, QString, bool))))
        return QStringLiteral("cannot listen to the prompter: ") + bus.lastError().message();

    m_process.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(TIDEWELL_KEYRING_PROMPTER), QStringLiteral("--password"), m_password,
            QStringLiteral("--reply"), replyName(reply), QStringLiteral("--give-up-after"),
            QString::number(m_giveUpAfter) });
    if (!m_process.waitForStarted(10000))
        return QStringLiteral("keyringprompter.py did not start: ") + m_process.errorString();
    for (int attempt = 0; attempt < 300; ++attempt) {
        if (bus.interface()->isServiceRegistered(prompterName).value())
            return {};
        if (m_process.state() == QProcess::NotRunning)
            return QStringLiteral("keyringprompter.py ended with status %1").arg(m_process.exitCode());
        QThread::msleep(50);
    }
    return QStringLiteral("keyringprompter.py did not take the prompter's name");
}

bool KeyringPrompter::setReply(Reply reply)
{
    return callPrompter(QStringLiteral("SetReply"), { replyName(reply) }).type() == QDBusMessage::ReplyMessage;
}

int KeyringPrompter::release(Reply reply)
{
    const QDBusMessage answer = callPrompter(QStringLiteral("Release"), { replyName(reply) });
    return answer.type() == QDBusMessage::ReplyMessage ? int(answer.arguments().value(0).toUInt()) : -1;
}

int KeyringPrompter::held() const
{
    const QDBusMessage answer = callPrompter(QStringLiteral("Held"));
    return answer.type() == QDBusMessage::ReplyMessage ? int(answer.arguments().value(0).toUInt()) : -1;
}

QString KeyringPrompter::lockDefaultCollection()
{
    QString error;
    const std::optional<QDBusObjectPath> collection = defaultCollection(&error);
    if (!collection)
        return error;
    const QDBusMessage locked = call(secretsName, secretsPath, serviceInterface, QStringLiteral("Lock"),
        { QVariant::fromValue(QList<QDBusObjectPath> { *collection }) });
    if (locked.type() != QDBusMessage::ReplyMessage)
        return locked.errorMessage();
    // gnome-keyring locks without asking; a store that wants a prompt for it is not what the tests expect.
    if (locked.arguments().value(1).value<QDBusObjectPath>().path() != u"/")
        return QStringLiteral("the store asked for a prompt to lock");
    return {};
}

std::optional<bool> KeyringPrompter::defaultCollectionLocked()
{
    QString error;
    const std::optional<QDBusObjectPath> collection = defaultCollection(&error);
    if (!collection)
        return std::nullopt;
    const QDBusMessage property
        = call(secretsName, collection->path(), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"), { QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("Locked") });
    if (property.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return property.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

void KeyringPrompter::onPrompted(const QString& type, const QString& message, bool newPassword)
{
    emit prompted(type, message, newPassword);
}
