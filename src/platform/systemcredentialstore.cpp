#include "platform/systemcredentialstore.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QThread>
#include <qt6keychain/keychain.h>

#include <cerrno>
#include <fcntl.h>
#include <future>
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

// Runs secret-store jobs on a thread that exists for them alone. QtKeychain delivers a job's result through the
// event loop of the thread that started it; this thread's loop serves only these jobs, so the caller blocks on
// the outcome without turning its own loop.
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

    // `makeJob` runs on the job thread, so the job is created, started, finished and deleted there.
    JobOutcome run(std::function<QKeychain::Job*()> makeJob)
    {
        // Shared, because the job thread may still be leaving set_value() when the caller wakes up and returns.
        auto promise = std::make_shared<std::promise<JobOutcome>>();
        std::future<JobOutcome> outcome = promise->get_future();
        QMetaObject::invokeMethod(
            &m_context,
            [makeJob = std::move(makeJob), promise] {
                QKeychain::Job* job = makeJob(); // deletes itself once finished
                QObject::connect(job, &QKeychain::Job::finished, job, [promise](QKeychain::Job* finished) {
                    JobOutcome result { finished->error(), finished->errorString(), {} };
                    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                        result.data = read->binaryData();
                    promise->set_value(std::move(result));
                });
                job->start();
            },
            Qt::QueuedConnection);
        return outcome.get();
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

std::optional<QByteArray> SystemCredentialStore::copy(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile file(fallbackPath(service, account));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return file.readAll();
    }
    return readSecret(QString::fromLatin1(service), key(account));
}

int SystemCredentialStore::add(Placement placement, const char* service, const char* account, const QByteArray& data)
{
    if (placement == Placement::Fallback) {
        if (m_secretStorePresent())
            return refusedWhileSecretStorePresent;
        if (!QDir().mkpath(m_folder))
            return EACCES;
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return writePrivateFile(fallbackPath(service, account), data);
    }
    return writeSecret(QString::fromLatin1(service), key(account), data);
}

void SystemCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile::remove(fallbackPath(service, account));
        return;
    }
    deleteSecret(QString::fromLatin1(service), key(account));
}

std::optional<QByteArray> SystemCredentialStore::readSecret(const QString& service, const QString& key)
{
    const JobOutcome outcome = jobThread().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        return job;
    });
    if (outcome.error == QKeychain::NoError)
        return outcome.data;
    if (outcome.error != QKeychain::EntryNotFound)
        qCWarning(lcPlatform) << "Secret store read failed, taken as no item:" << outcome.message;
    return std::nullopt;
}

int SystemCredentialStore::writeSecret(const QString& service, const QString& key, const QByteArray& data)
{
    const JobOutcome outcome = jobThread().run([service, key, data]() -> QKeychain::Job* {
        auto* job = new QKeychain::WritePasswordJob(service);
        job->setKey(key);
        job->setBinaryData(data);
        return job;
    });
    // The caller sees only the number; the store's own words go to the log.
    if (outcome.error != QKeychain::NoError)
        qCWarning(lcPlatform) << "Secret store refused the write:" << outcome.message;
    return int(outcome.error);
}

void SystemCredentialStore::deleteSecret(const QString& service, const QString& key)
{
    const JobOutcome outcome = jobThread().run([service, key]() -> QKeychain::Job* {
        auto* job = new QKeychain::DeletePasswordJob(service);
        job->setKey(key);
        return job;
    });
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        qCWarning(lcPlatform) << "Secret store delete failed:" << outcome.message;
}

} // namespace tidewell
