// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/browserlinkflow.h"

#include "base/cancellablesleep.h"
#include "base/logging.h"

#include <QElapsedTimer>
#include <algorithm>

namespace tidewell {

QString BrowserLinkFlow::Texts::invalidPairCode()
{
    return tr("Invalid pair code from server \u2014 try again.");
}

QString BrowserLinkFlow::Texts::linkTimedOut()
{
    return tr("Link request timed out \u2014 try again.");
}

QString BrowserLinkFlow::Texts::linkExpired()
{
    return tr("Link request expired \u2014 try again.");
}

QString BrowserLinkFlow::Texts::linkNotSaved()
{
    return tr("Couldn't save the device credential \u2014 try again.");
}

BrowserLinkFlow::BrowserLinkFlow(
    QNetworkAccessManager* network, std::chrono::milliseconds pollInterval, Configure configure, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_pollInterval(pollInterval)
    , m_configure(std::move(configure))
{ }

BrowserLinkFlow::~BrowserLinkFlow()
{
    if (m_stop)
        m_stop->request_stop();
}

void BrowserLinkFlow::setPhase(LinkPhase phase)
{
    if (m_phase == phase)
        return;
    m_phase = std::move(phase);
    emit phaseChanged();
}

void BrowserLinkFlow::setCode(std::optional<QString> code)
{
    if (m_code == code)
        return;
    m_code = std::move(code);
    emit codeChanged();
}

void BrowserLinkFlow::fail(const QString& text)
{
    setPhase(LinkPhase::failed(text));
    setCode(std::nullopt);
}

void BrowserLinkFlow::begin(QUrl serverURL, std::function<void(const QUrl&)> open)
{
    if (m_stop)
        m_stop->request_stop();
    setPhase(LinkPhase::waiting());
    setCode(std::nullopt);
    m_stop.emplace();
    run(QPointer<BrowserLinkFlow>(this), DeviceLinker(std::move(serverURL), m_network), std::move(open), m_pollInterval,
        m_stop->get_token());
}

void BrowserLinkFlow::cancel()
{
    if (m_stop)
        m_stop->request_stop();
    m_stop.reset();
    setPhase(LinkPhase::idle());
    setCode(std::nullopt);
}

QCoro::Task<> BrowserLinkFlow::run(QPointer<BrowserLinkFlow> self, DeviceLinker linker,
    std::function<void(const QUrl&)> open, std::chrono::milliseconds pollInterval, std::stop_token stop)
{
    DeviceLinker::Start start;
    try {
        start = co_await linker.start(stop);
    } catch (const Error& error) {
        if (self && !stop.stop_requested())
            self->fail(error.description());
        co_return;
    }
    if (!self || stop.stop_requested())
        co_return;
    self->setCode(start.code);
    const std::optional<QUrl> address = linker.approveURL(start.code);
    if (!address) {
        self->fail(Texts::invalidPairCode());
        co_return;
    }
    if (open)
        open(*address);

    QElapsedTimer sinceOpened; // monotonic
    sinceOpened.start();
    const qint64 lifetimeMs = std::clamp<qint64>(start.expiresIn, -1, qint64(1) << 40) * 1000;
    for (;;) {
        if (!self || stop.stop_requested())
            co_return;
        if (sinceOpened.elapsed() >= lifetimeMs) {
            self->fail(Texts::linkTimedOut());
            co_return;
        }
        const bool slept = co_await sleepFor(pollInterval, stop);
        if (!slept)
            co_return;
        if (!self || stop.stop_requested())
            co_return;
        DeviceLinker::PollResult result;
        try {
            result = co_await linker.poll(start.pollToken, stop);
        } catch (const Error& error) {
            qCDebug(lcAccount) << "link poll failed, polling on:" << error.description();
            continue; // not shown: polling goes on until the deadline
        }
        if (!self || stop.stop_requested())
            co_return;
        switch (result.kind) {
        case DeviceLinker::PollResult::Kind::Pending:
            continue;
        case DeviceLinker::PollResult::Kind::Expired:
            self->fail(Texts::linkExpired());
            co_return;
        case DeviceLinker::PollResult::Kind::Approved: {
            // The call is made before the await, for its braced argument: see base/bounded.h.
            QCoro::Task<std::optional<QString>> configuring
                = self->m_configure(DeviceConfig { linker.serverURL(), result.secret });
            const std::optional<QString> failure = co_await std::move(configuring);
            if (!self)
                co_return;
            if (failure) {
                self->fail(*failure);
            } else {
                self->setPhase(LinkPhase::idle());
                self->setCode(std::nullopt);
            }
            co_return;
        }
        }
    }
}

} // namespace tidewell
