// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/systemcredentialstore.h"

#include "base/logging.h"
#include "platform/keyringthread.h"

#include <QCoroDBus>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {

namespace {

const auto secretsName = QStringLiteral("org.freedesktop.secrets");

// Writes `data` to `path` so that the file is never readable by others and a reader sees either the old
// content or the new one, never a mix: a private temporary file in the same folder, synced, then renamed.
int writePrivateFile(const QString& path, const QByteArray& data)
{
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data()); // mode 0600
    if (fd < 0)
        return errno;
    int status = 0;
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            status = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    if (status == 0 && (::fchmod(fd, S_IRUSR | S_IWUSR) != 0 || ::fsync(fd) != 0))
        status = errno;
    if (::close(fd) != 0 && status == 0)
        status = errno;
    if (status == 0 && ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0)
        status = errno;
    if (status != 0)
        ::unlink(temp.constData());
    return status;
}

} // namespace

SystemCredentialStore::SystemCredentialStore(QString fallbackFolder, QString profile, PresenceProbe secretStorePresent)
    : m_folder(std::move(fallbackFolder))
    , m_profile(std::move(profile))
    , m_secretStorePresent(secretStorePresent ? std::move(secretStorePresent) : PresenceProbe(&secretStoreOnSessionBus))
{ }

SystemCredentialStore::~SystemCredentialStore() = default;

QString SystemCredentialStore::key(const char* account) const
{
    const QString name = QString::fromLatin1(account);
    return m_profile.isEmpty() ? name : name + u'.' + m_profile;
}

QString SystemCredentialStore::fallbackPath(const char* service, const char* account) const
{
    return m_folder + QStringLiteral("/%1.%2.credential").arg(QLatin1String(service), key(account));
}

bool SystemCredentialStore::secretStoreOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Blocking calls: they wait on the bus connection's own thread and process no event of this one.
    const auto ask = [&bus](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block);
    };
    const QDBusMessage owner = ask(QStringLiteral("NameHasOwner"), { secretsName });
    if (owner.type() == QDBusMessage::ReplyMessage && owner.arguments().value(0).toBool())
        return true;
    const QDBusMessage activatable = ask(QStringLiteral("ListActivatableNames"), {});
    if (activatable.type() == QDBusMessage::ReplyMessage)
        return activatable.arguments().value(0).toStringList().contains(secretsName);
    // A bus that cannot say is not taken as proof that there is no store: a secret never goes to the file by doubt.
    qCWarning(lcPlatform) << "Could not ask the session bus for a secret store:" << owner.errorMessage()
                          << activatable.errorMessage();
    return true;
}

QCoro::Task<bool> SystemCredentialStore::defaultCollectionLocked()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        co_return false;
    QDBusMessage message
        = QDBusMessage::createMethodCall(secretsName, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({ QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("Locked") });
    // A property read the store answers at once, prompt or not; bounded all the same.
    QDBusPendingCall asking = bus.asyncCall(message, 2000);
    const QDBusMessage reply = co_await asking;
    co_return reply.type()
        == QDBusMessage::ReplyMessage&& reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

QCoro::Task<CredentialStore::Item> SystemCredentialStore::copy(
    Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile file(fallbackPath(service, account));
        if (!file.open(QIODevice::ReadOnly))
            co_return Item { file.exists() ? Item::Status::Unavailable : Item::Status::Missing, {} };
        co_return Item { Item::Status::Found, file.readAll() };
    }
    QCoro::Task<Item> reading = readSecret(QString::fromLatin1(service), key(account));
    co_return co_await std::move(reading);
}

QCoro::Task<int> SystemCredentialStore::add(
    Placement placement, const char* service, const char* account, QByteArray data)
{
    if (placement == Placement::Fallback) {
        if (m_secretStorePresent())
            co_return refusedWhileSecretStorePresent;
        if (!QDir().mkpath(m_folder))
            co_return EACCES;
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        co_return writePrivateFile(fallbackPath(service, account), data);
    }
    QCoro::Task<int> writing = writeSecret(QString::fromLatin1(service), key(account), std::move(data));
    co_return co_await std::move(writing);
}

QCoro::Task<bool> SystemCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile file(fallbackPath(service, account));
        co_return file.remove() || !file.exists();
    }
    QCoro::Task<bool> deleting = deleteSecret(QString::fromLatin1(service), key(account));
    co_return co_await std::move(deleting);
}

QCoro::Task<CredentialStore::Item> SystemCredentialStore::readSecret(QString service, QString key)
{
    // Named tasks throughout, for the capturing lambdas: see base/bounded.h.
    QCoro::Task<KeyringThread::Outcome> reading = KeyringThread::instance().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        return job;
    });
    const KeyringThread::Outcome outcome = co_await std::move(reading);
    if (outcome.error == QKeychain::NoError)
        co_return Item { Item::Status::Found, outcome.data };
    // The library reports a read whose unlock prompt was dismissed as a missing item; a collection still locked
    // says the item may well be there.
    if (outcome.error == QKeychain::EntryNotFound) {
        QCoro::Task<bool> asking = defaultCollectionLocked();
        if (!co_await std::move(asking))
            co_return Item { Item::Status::Missing, {} };
        qCWarning(lcPlatform) << "Secret store read found the keyring locked";
        co_return Item { Item::Status::Unavailable, {} };
    }
    qCWarning(lcPlatform) << "Secret store read failed:" << outcome.message;
    co_return Item { Item::Status::Unavailable, {} };
}

QCoro::Task<int> SystemCredentialStore::writeSecret(QString service, QString key, QByteArray data)
{
    QCoro::Task<KeyringThread::Outcome> writing
        = KeyringThread::instance().run([service, key, data]() -> QKeychain::Job* {
              auto* job = new QKeychain::WritePasswordJob(service);
              job->setKey(key);
              job->setBinaryData(data);
              return job;
          });
    const KeyringThread::Outcome outcome = co_await std::move(writing);
    // The caller sees only the number; the store's own words go to the log.
    if (outcome.error != QKeychain::NoError)
        qCWarning(lcPlatform) << "Secret store refused the write:" << outcome.message;
    co_return int(outcome.error);
}

QCoro::Task<bool> SystemCredentialStore::deleteSecret(QString service, QString key)
{
    QCoro::Task<KeyringThread::Outcome> deleting = KeyringThread::instance().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::DeletePasswordJob(service);
        job->setKey(key);
        return job;
    });
    const KeyringThread::Outcome outcome = co_await std::move(deleting);
    if (outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound)
        co_return true;
    qCWarning(lcPlatform) << "Secret store delete failed:" << outcome.message;
    co_return false;
}

} // namespace tidewell
