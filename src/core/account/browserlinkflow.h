// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/deviceconfig.h"
#include "account/devicelinker.h"
#include "account/linkphase.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;

namespace tidewell {

// Links this computer through the browser: asks the server for a pair code, opens the page that approves it,
// polls until the user has, and hands the approved credential to `configure`. One flow at a time: beginning
// again stops the one before. Its phase and code are what the settings window shows.
class BrowserLinkFlow : public QObject
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString invalidPairCode();
        static QString linkTimedOut();
        static QString linkExpired();
        static QString linkNotSaved();
    };

    // Saves and installs an approved credential; answers the line that says why it failed, or none when it was
    // saved.
    using Configure = std::function<QCoro::Task<std::optional<QString>>(DeviceConfig config)>;

    BrowserLinkFlow(QNetworkAccessManager* network, std::chrono::milliseconds pollInterval, Configure configure,
        QObject* parent = nullptr);
    ~BrowserLinkFlow() override;

    LinkPhase phase() const { return m_phase; }
    std::optional<QString> code() const { return m_code; }

    // `open` is handed the approval page's address.
    void begin(QUrl serverURL, std::function<void(const QUrl&)> open);
    // Stops the running flow, if any; the phase goes back to idle.
    void cancel();

signals:
    void phaseChanged();
    void codeChanged();

private:
    // A stopped flow returns without touching the phase or the code: whoever stopped it sets them.
    static QCoro::Task<> run(QPointer<BrowserLinkFlow> self, DeviceLinker linker, std::function<void(const QUrl&)> open,
        std::chrono::milliseconds pollInterval, std::stop_token stop);
    void fail(const QString& text);
    void setPhase(LinkPhase phase);
    void setCode(std::optional<QString> code);

    QNetworkAccessManager* m_network;
    std::chrono::milliseconds m_pollInterval;
    Configure m_configure;
    LinkPhase m_phase;
    std::optional<QString> m_code;
    std::optional<std::stop_source> m_stop; // while a flow runs
};

} // namespace tidewell
