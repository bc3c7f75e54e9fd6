// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windowactivation.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace tidewell {

namespace {

constexpr char waylandTokenVariable[] = "XDG_ACTIVATION_TOKEN";
constexpr char x11StartupVariable[] = "DESKTOP_STARTUP_ID";

bool onWayland()
{
    return QGuiApplication::platformName().startsWith(u"wayland");
}

} // namespace

WindowActivation::WindowActivation(QObject* parent)
    : QObject(parent)
{ }

WindowActivation::~WindowActivation()
{
    stopWaiting();
}

QString WindowActivation::takeLaunchToken()
{
    const QString waylandToken = qEnvironmentVariable(waylandTokenVariable);
    qunsetenv(waylandTokenVariable);
    const QString token = waylandToken.isEmpty() ? qEnvironmentVariable(x11StartupVariable) : waylandToken;
    return isUsableToken(token) ? token : QString();
}

bool WindowActivation::isUsableToken(const QString& token)
{
    if (token.isEmpty() || token.size() > maxTokenSize)
        return false;
    return std::all_of(token.cbegin(), token.cend(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

void WindowActivation::setToken(const QString& token)
{
    if (isUsableToken(token))
        m_token = token;
}

WindowActivation::Outcome WindowActivation::activate(QWindow* window)
{
    if (!window)
        return Outcome::AlreadyActive;
    if (window->isExposed()) {
        stopWaiting();
        return activateNow(window);
    }
    if (m_waitingFor != window) {
        stopWaiting();
        m_waitingFor = window;
        window->installEventFilter(this);
    }
    return m_token.isEmpty() ? Outcome::AttentionRequested : Outcome::TokenUsed;
}

bool WindowActivation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_waitingFor && event->type() == QEvent::Expose && m_waitingFor->isExposed()) {
        stopWaiting();
        // After the window has drawn its first frame for this event: a Wayland compositor maps a surface only once it
        // has content, and ignores the activation of one it has not mapped.
        QMetaObject::invokeMethod(
            this,
            [this, window = QPointer<QWindow>(static_cast<QWindow*>(watched))] {
                if (window)
                    activateNow(window);
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void WindowActivation::stopWaiting()
{
    if (m_waitingFor)
        m_waitingFor->removeEventFilter(this);
    m_waitingFor.clear();
}

WindowActivation::Outcome WindowActivation::activateNow(QWindow* window)
{
    const QString token = std::exchange(m_token, QString());
    if (window->isActive())
        return Outcome::AlreadyActive;
    if (token.isEmpty()) {
        // Where the display server lets Tidewell take the focus on its own (X11, or Wayland while one of its windows
        // has it) this suffices; elsewhere the request goes unanswered, and the user should still learn that the
        // window wants to be seen.
        window->requestActivate();
        window->alert(0);
        return Outcome::AttentionRequested;
    }
    if (onWayland()) {
        // Qt's Wayland plugin activates with the token it finds in the environment and takes it out again; it is
        // removed here as well, so that a token the plugin did not spend is never used twice nor inherited.
        qputenv(waylandTokenVariable, token.toLatin1());
        window->requestActivate();
        qunsetenv(waylandTokenVariable);
    } else {
        window->requestActivate();
    }
    return Outcome::TokenUsed;
}

} // namespace tidewell
