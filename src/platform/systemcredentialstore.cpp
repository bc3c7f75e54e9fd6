// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/systemcredentialstore.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <cerrno>
#include <coroutine>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tidewell {

namespace {

const auto secretsName = QStringLiteral("org.freedesktop.secrets");

struct JobOutcome
{
    QKeychain::Error error = QKeychain::OtherError;
    QString message;
    QByteArray data;
};

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

// Resumes the awaiting coroutine on its own thread once the future has finished, with or without a result.
struct FutureFinished
{
    QFuture<JobOutcome> future;
    bool await_ready() const { return future.isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        auto* watcher = new QFutureWatcher<JobOutcome>();
        QObject::connect(watcher, &QFutureWatcherBase::finished, [watcher, waiting] {
            watcher->deleteLater();
            waiting.resume();
        });
        watcher->setFuture(future);
    }
    void await_resume() const { }
};

// Runs secret-store jobs on a thread that exists for them alone. QtKeychain delivers a job's result through the
// event loop of the thread that started it; this thread's loop serves only these jobs, and hands each outcome
// back to the caller's loop, which keeps running while the store asks the user (an unlock prompt, say).
class JobThread
{
public:
    JobThread()
    {
        m_thread.setObjectName(QStringLiteral("tidewell-secrets"));
        m_context.moveToThread(&m_thread);
        m_thread.start();
    }

    ~JobThread()
    {
        m_thread.quit();
        m_thread.wait();
    }

    // `makeJob` runs on the job thread, so the job is created, started, finished and deleted there. A job the
    // store never answers never finishes, and neither does the returned task.
    QCoro::Task<JobOutcome> run(std::function<QKeychain::Job*()> makeJob)
    {
        auto promise = std::make_shared<QPromise<JobOutcome>>();
        promise->start();
        const QFuture<JobOutcome> outcome = promise->future();
        QMetaObject::invokeMethod(
            &m_context,
            [makeJob = std::move(makeJob), promise] {
                QKeychain::Job* job = makeJob(); // deletes itself once finished
                QObject::connect(job, &QKeychain::Job::finished, job, [promise](QKeychain::Job* finished) {
                    JobOutcome result { finished->error(), finished->errorString(), {} };
                    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                        result.data = read->binaryData();
                    promise->addResult(std::move(result));
                    promise->finish();
                });
                job->start();
            },
            Qt::QueuedConnection);
        // A named awaiter: GCC 12 destroys a temporary one before the coroutine resumes.
        FutureFinished finished { outcome };
        co_await finished;
        // A promise dropped unanswered (the job thread ended first) leaves no result.
        if (outcome.resultCount() == 0)
            co_return JobOutcome { QKeychain::OtherError, QStringLiteral("the secret-store job ended unanswered"), {} };
        co_return outcome.result();
    }

private:
    QThread m_thread;
    QObject m_context; // lives on m_thread; queued calls to it run there
};

// One for the process, kept until the application object goes: the secret-store library keeps its connection,
// and the main context that connection answers in, for the life of the process, so jobs started from a second
// thread would wait on a context that nobody iterates any more.
std::mutex jobThreadMutex;
JobThread* jobThreadInstance = nullptr;

void stopJobThread()
{
    const std::lock_guard lock(jobThreadMutex);
    delete std::exchange(jobThreadInstance, nullptr);
}

JobThread& jobThread()
{
    const std::lock_guard lock(jobThreadMutex);
    if (!jobThreadInstance) {
        jobThreadInstance = new JobThread;
        qAddPostRoutine(&stopJobThread);
    }
    return *jobThreadInstance;
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

bool SystemCredentialStore::defaultCollectionLocked()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage message
        = QDBusMessage::createMethodCall(secretsName, QStringLiteral("/org/freedesktop/secrets/aliases/default"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({ QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("Locked") });
    // A property read the store answers at once, prompt or not; bounded all the same.
    const QDBusMessage reply = bus.call(message, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage
        && reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
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

QCoro::Task<> SystemCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile::remove(fallbackPath(service, account));
        co_return;
    }
    QCoro::Task<> deleting = deleteSecret(QString::fromLatin1(service), key(account));
    co_await std::move(deleting);
}

QCoro::Task<CredentialStore::Item> SystemCredentialStore::readSecret(QString service, QString key)
{
    // Named tasks throughout: GCC 12 destroys a temporary argument of an awaited call too early.
    QCoro::Task<JobOutcome> reading = jobThread().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        return job;
    });
    const JobOutcome outcome = co_await std::move(reading);
    if (outcome.error == QKeychain::NoError)
        co_return Item { Item::Status::Found, outcome.data };
    // The library reports a read whose unlock prompt was dismissed as a missing item; a collection still locked
    // says the item may well be there.
    if (outcome.error == QKeychain::EntryNotFound && !defaultCollectionLocked())
        co_return Item { Item::Status::Missing, {} };
    if (outcome.error == QKeychain::EntryNotFound) {
        qCWarning(lcPlatform) << "Secret store read found the keyring locked";
        co_return Item { Item::Status::Unavailable, {} };
    }
    qCWarning(lcPlatform) << "Secret store read failed:" << outcome.message;
    co_return Item { Item::Status::Unavailable, {} };
}

QCoro::Task<int> SystemCredentialStore::writeSecret(QString service, QString key, QByteArray data)
{
    QCoro::Task<JobOutcome> writing = jobThread().run([service, key, data]() -> QKeychain::Job* {
        auto* job = new QKeychain::WritePasswordJob(service);
        job->setKey(key);
        job->setBinaryData(data);
        return job;
    });
    const JobOutcome outcome = co_await std::move(writing);
    // The caller sees only the number; the store's own words go to the log.
    if (outcome.error != QKeychain::NoError)
        qCWarning(lcPlatform) << "Secret store refused the write:" << outcome.message;
    co_return int(outcome.error);
}

QCoro::Task<> SystemCredentialStore::deleteSecret(QString service, QString key)
{
    QCoro::Task<JobOutcome> deleting = jobThread().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::DeletePasswordJob(service);
        job->setKey(key);
        return job;
    });
    const JobOutcome outcome = co_await std::move(deleting);
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        qCWarning(lcPlatform) << "Secret store delete failed:" << outcome.message;
}

} // namespace tidewell
