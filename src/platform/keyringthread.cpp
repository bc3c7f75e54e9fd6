// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyringthread.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QDeadlineTimer>
#include <QFuture>
#include <QPromise>
#include <QThread>

#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tidewell {

// Lives on the job thread. The jobs asked for wait in a queue under a lock, and a queued call by name, made and
// delivered inside Qt, runs them there: what a job carries crosses threads by that lock alone.
class KeyringJobQueue : public QObject
{
    Q_OBJECT
public:
    void push(std::function<void()> job)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        QMetaObject::invokeMethod(this, "runPending", Qt::QueuedConnection);
    }

    Q_INVOKABLE void runPending()
    {
        for (;;) {
            std::function<void()> job;
            {
                const std::lock_guard lock(m_mutex);
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_jobs;
};

namespace {

// What a job answers: written on the job thread, read on the caller's once the job is done. Qt's event queue and
// QFuture order the two, but through futexes that ThreadSanitizer cannot see in an uninstrumented Qt; a lock it does
// see keeps its checks meaningful here.
struct Answer
{
    std::mutex mutex;
    std::optional<KeyringThread::Outcome> outcome;
};

// Threads that did not end within their bound, with the object that lives on each: kept reachable, since destroying
// a running QThread aborts.
std::vector<std::pair<std::unique_ptr<QThread>, std::unique_ptr<QObject>>> abandoned;

// One for the process, kept until the application object goes: the secret-store library keeps its connection, and
// the main context that connection answers in, for the life of the process, so jobs started from a second thread
// would wait on a context that nobody iterates any more.
std::mutex instanceMutex;
KeyringThread* instancePointer = nullptr;

void stopInstance()
{
    const std::lock_guard lock(instanceMutex);
    delete std::exchange(instancePointer, nullptr);
}

} // namespace

KeyringThread::KeyringThread(std::chrono::milliseconds stopBound)
    : m_stopBound(stopBound)
    , m_thread(std::make_unique<QThread>())
    , m_context(std::make_unique<KeyringJobQueue>())
{
    m_thread->setObjectName(QStringLiteral("tidewell-secrets"));
    m_context->moveToThread(m_thread.get());
    m_thread->start();
}

KeyringThread::~KeyringThread()
{
    if (stop(m_stopBound))
        return;
    qCWarning(lcPlatform) << "the secret-store thread did not end within" << m_stopBound.count()
                          << "ms; left to the process's exit";
    abandoned.emplace_back(std::move(m_thread), std::move(m_context));
}

bool KeyringThread::stop(std::chrono::milliseconds bound)
{
    m_thread->quit();
    return m_thread->wait(QDeadlineTimer(bound));
}

QCoro::Task<KeyringThread::Outcome> KeyringThread::run(std::function<QKeychain::Job*()> makeJob)
{
    auto answer = std::make_shared<Answer>();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    const QFuture<void> done = promise->future();
    static_cast<KeyringJobQueue*>(m_context.get())->push([makeJob = std::move(makeJob), answer, promise] {
        QKeychain::Job* job = makeJob(); // deletes itself once finished
        if (!job) {
            promise->finish();
            return;
        }
        QObject::connect(job, &QKeychain::Job::finished, job, [answer, promise](QKeychain::Job* finished) {
            Outcome result { finished->error(), finished->errorString(), {} };
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                result.data = read->binaryData();
            {
                const std::lock_guard lock(answer->mutex);
                answer->outcome = std::move(result);
            }
            promise->finish();
        });
        job->start();
    });
    co_await done; // on this thread, once the job has answered or was dropped
    std::optional<Outcome> outcome;
    {
        const std::lock_guard lock(answer->mutex);
        outcome = std::move(answer->outcome);
    }
    // A job never made, or dropped unanswered as the job thread ended, leaves no answer.
    if (!outcome)
        co_return Outcome { QKeychain::OtherError, QStringLiteral("the secret-store job ended unanswered"), {} };
    co_return std::move(*outcome);
}

KeyringThread& KeyringThread::instance()
{
    const std::lock_guard lock(instanceMutex);
    if (!instancePointer) {
        instancePointer = new KeyringThread;
        qAddPostRoutine(&stopInstance);
    }
    return *instancePointer;
}

} // namespace tidewell

#include "keyringthread.moc"
