// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWindow;

namespace tidewell {

// Brings Tidewell's window to the front the way the display server allows. Wayland lets a window take the focus
// only with an activation token that the compositor handed to whatever the user just acted on: a notification
// click or a launcher. Such a token is given here first and spent on the next activation; without one the window
// asks for the user's attention instead of silently staying behind. On X11 the token is a launch's startup id.
class WindowActivation : public QObject
{
    Q_OBJECT
public:
    // Largest token taken, in bytes; real ones are a few dozen.
    static constexpr qsizetype maxTokenSize = 1024;

    enum class Outcome
    {
        TokenUsed, // the window asked to be activated with a token
        AttentionRequested, // no token: the window asks for attention
        AlreadyActive, // nothing to ask for
    };
    Q_ENUM(Outcome)

    explicit WindowActivation(QObject* parent = nullptr);
    ~WindowActivation() override;

    // The token this process was launched with. The Wayland one is taken out of the environment, so that it is
    // spent once and no program Tidewell starts inherits it; an X11 startup id is left for Qt's X11 support, which
    // reads it when the application object is made and ends the launch feedback with it. Call before that.
    static QString takeLaunchToken();

    // Whether a text may be handed to the display server as a token: printable ASCII, bounded, no spaces.
    static bool isUsableToken(const QString& token);

    // Remembers a token for the next activation; the latest one wins, an unusable one is ignored.
    void setToken(const QString& token);
    QString pendingToken() const { return m_token; }

    // Asks for the (shown) window to be activated, spending the pending token. A window that is not on screen
    // yet is activated once it is exposed, since a compositor ignores activation of an unmapped surface.
    Outcome activate(QWindow* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Outcome activateNow(QWindow* window);
    void stopWaiting();

    QString m_token;
    QPointer<QWindow> m_waitingFor;
};

} // namespace tidewell
