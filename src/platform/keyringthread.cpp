// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/keyringthread.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QThread>

#include <coroutine>
#include <mutex>
#include <utility>
#include <vector>

namespace tidewell {

namespace {

// Resumes the awaiting coroutine on its own thread once the future has finished, with or without a result.
struct FutureFinished
{
    QFuture<KeyringThread::Outcome> future;
    bool await_ready() const { return future.isFinished(); }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        auto* watcher = new QFutureWatcher<KeyringThread::Outcome>();
        QObject::connect(watcher, &QFutureWatcherBase::finished, [watcher, waiting] {
            watcher->deleteLater();
            waiting.resume();
        });
        watcher->setFuture(future);
    }
    void await_resume() const { }
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
    , m_context(std::make_unique<QObject>())
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
    auto promise = std::make_shared<QPromise<Outcome>>();
    promise->start();
    const QFuture<Outcome> outcome = promise->future();
    QMetaObject::invokeMethod(
        m_context.get(),
        [makeJob = std::move(makeJob), promise] {
            QKeychain::Job* job = makeJob(); // deletes itself once finished
            if (!job) {
                promise->finish();
                return;
            }
            QObject::connect(job, &QKeychain::Job::finished, job, [promise](QKeychain::Job* finished) {
                Outcome result { finished->error(), finished->errorString(), {} };
                if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                    result.data = read->binaryData();
                promise->addResult(std::move(result));
                promise->finish();
            });
            job->start();
        },
        Qt::QueuedConnection);
    FutureFinished finished { outcome };
    co_await finished;
    // A promise dropped or finished unanswered (no job, or the job thread ended first) leaves no result.
    if (outcome.resultCount() == 0)
        co_return Outcome { QKeychain::OtherError, QStringLiteral("the secret-store job ended unanswered"), {} };
    co_return outcome.result();
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
