#include "systemcredentialstore.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <qt6keychain/keychain.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {

namespace {

// Runs a secret-store job to its end without returning to the caller's event loop for user input.
void runToEnd(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

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

SystemCredentialStore::SystemCredentialStore(QString fallbackFolder, QString profile)
    : m_folder(std::move(fallbackFolder))
    , m_profile(std::move(profile))
{ }

QString SystemCredentialStore::key(const char* account) const
{
    const QString name = QString::fromLatin1(account);
    return m_profile.isEmpty() ? name : name + u'.' + m_profile;
}

QString SystemCredentialStore::fallbackPath(const char* service, const char* account) const
{
    return m_folder + QStringLiteral("/%1.%2.credential").arg(QLatin1String(service), key(account));
}

std::optional<QByteArray> SystemCredentialStore::copy(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile file(fallbackPath(service, account));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return file.readAll();
    }
    QKeychain::ReadPasswordJob job(QString::fromLatin1(service));
    job.setKey(key(account));
    runToEnd(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.binaryData();
}

int SystemCredentialStore::add(Placement placement, const char* service, const char* account, const QByteArray& data)
{
    if (placement == Placement::Fallback) {
        if (!QDir().mkpath(m_folder))
            return EACCES;
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return writePrivateFile(fallbackPath(service, account), data);
    }
    QKeychain::WritePasswordJob job(QString::fromLatin1(service));
    job.setKey(key(account));
    job.setBinaryData(data);
    runToEnd(job);
    return int(job.error());
}

void SystemCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    if (placement == Placement::Fallback) {
        QFile::remove(fallbackPath(service, account));
        return;
    }
    QKeychain::DeletePasswordJob job(QString::fromLatin1(service));
    job.setKey(key(account));
    runToEnd(job);
}

} // namespace tidewell
