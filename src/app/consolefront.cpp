#include "consolefront.h"

#include "base/error.h"
#include "lists/listrules.h"

#include <QCoreApplication>
#include <QProcess>
#include <unistd.h>

namespace tidewell {

namespace {
const auto helpText = QStringLiteral(
    "Commands: status, list, sync, read, link, cancel, yes / no (answer a pending link), clear, unlink, quit.");
} // namespace

ConsoleFront::ConsoleFront(AppState& state, QUrl defaultServerURL, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_defaultServerURL(std::move(defaultServerURL))
    , m_out(stdout)
{
    connect(&state, &AppState::configChanged, this, [this] { printStatus(); });
    connect(&state, &AppState::unreadCountChanged, this,
        [this] { say(QStringLiteral("Unread: %1").arg(m_state.unreadCount())); });
    connect(&state, &AppState::lastSyncErrorChanged, this, [this] {
        if (const auto error = m_state.lastSyncError())
            say(QStringLiteral("Error: %1").arg(*error));
    });
    connect(&state, &AppState::isSyncingChanged, this, [this] {
        if (!m_state.isSyncing() && m_state.lastSyncDate() && !m_state.lastSyncError()) {
            try {
                say(QStringLiteral("Synced: %1 messages cached, %2 unread.")
                        .arg(m_state.container().countMessagesAbove(0))
                        .arg(m_state.unreadCount()));
            } catch (const Error& error) {
                say(QStringLiteral("Error: %1").arg(error.description()));
            }
        }
    });
    connect(&state, &AppState::pendingLinkChanged, this, [this] {
        if (const auto link = m_state.pendingLink()) {
            say(QStringLiteral("Link this device to %1? Type \"yes\" to link or \"no\" to decline.")
                    .arg(link->serverURL.toString()));
        }
    });
    connect(&state, &AppState::linkCodeChanged, this, [this] {
        if (const auto code = m_state.linkCode())
            say(QStringLiteral("Pair code %1 — confirm it matches the one in your browser, then approve.").arg(*code));
    });
    connect(&state, &AppState::linkPhaseChanged, this, [this] {
        const LinkPhase phase = m_state.linkPhase();
        if (phase.kind == LinkPhase::Kind::Waiting)
            say(QStringLiteral("Waiting for approval in your browser…"));
        else if (phase.kind == LinkPhase::Kind::Failed)
            say(QStringLiteral("Linking failed: %1").arg(phase.message));
    });

    m_input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(m_input.get(), &QSocketNotifier::activated, this, &ConsoleFront::readLine);
    printStatus();
    say(helpText);
}

void ConsoleFront::say(const QString& line)
{
    m_out << line << Qt::endl;
}

void ConsoleFront::printStatus()
{
    if (const auto& config = m_state.config())
        say(QStringLiteral("Linked to %1.").arg(config->serverURL.host()));
    else
        say(QStringLiteral("Not linked. Type \"link\" to link this computer through your browser."));
}

void ConsoleFront::printMessages(int count)
{
    QList<CachedMessage> all;
    QHash<qint64, CachedApp> apps;
    try {
        all = m_state.container().fetchMessages();
        apps = ListRules::appsById(m_state.container().fetchApps());
    } catch (const Error& error) {
        say(QStringLiteral("Error: %1").arg(error.description())); // read from a slot: nothing may escape it
        return;
    }
    const QList<CachedMessage> shown = ListRules::filtered(all, std::nullopt, QString(), MessageSort::Newest);
    for (const CachedMessage& m : shown.mid(0, count)) {
        const auto app = apps.constFind(m.applicationId);
        say(QStringLiteral("%1 %2 [%3] %4: %5")
                .arg(m_state.isUnread(m) ? QStringLiteral("*") : QStringLiteral(" "))
                .arg(m.date().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                .arg(app != apps.cend() ? app->name : QStringLiteral("?"))
                .arg(ListRules::headerText(m, app != apps.cend() ? &*app : nullptr))
                .arg(m.message));
    }
    if (shown.isEmpty())
        say(QStringLiteral("No messages."));
}

void ConsoleFront::readLine()
{
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_input->setEnabled(false); // end of input: keep running, like a window without a keyboard
        return;
    }
    m_pending.append(buffer, n);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString command = QString::fromUtf8(m_pending.left(end)).trimmed().toLower();
        m_pending.remove(0, end + 1);
        if (!command.isEmpty())
            run(command);
    }
}

void ConsoleFront::run(const QString& command)
{
    if (command == u"status") {
        printStatus();
        say(QStringLiteral("Unread: %1").arg(m_state.unreadCount()));
    } else if (command == u"list") {
        printMessages(20);
    } else if (command == u"sync") {
        m_state.startSync();
    } else if (command == u"read") {
        m_state.markRead(); // runs on; the state reports its own failures
    } else if (command == u"link") {
        m_state.beginBrowserLink(m_defaultServerURL, [this](const QUrl& url) {
            say(QStringLiteral("Opening %1").arg(url.toString()));
            QProcess::startDetached(QStringLiteral("xdg-open"), { url.toString() });
        });
    } else if (command == u"cancel") {
        m_state.cancelBrowserLink();
    } else if (command == u"yes" || command == u"y") {
        m_state.confirmPendingLink();
    } else if (command == u"no" || command == u"n") {
        m_state.setPendingLink(std::nullopt);
    } else if (command == u"clear") {
        m_state.clearCache();
    } else if (command == u"unlink") {
        m_state.unlink();
    } else if (command == u"quit" || command == u"q") {
        QCoreApplication::quit();
    } else {
        say(helpText);
    }
}

} // namespace tidewell
