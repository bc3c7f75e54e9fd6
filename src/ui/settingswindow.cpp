// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settingswindow.h"

#include "notify/notificationhandler.h"
#include "ui/settings/aboutsection.h"
#include "ui/settings/connectionsection.h"
#include "ui/settings/notificationssection.h"
#include "ui/settings/syncsection.h"
#include "ui/showandraise.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tidewell {

SettingsWindow::SettingsWindow(AppState& state, Services services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_services(std::move(services))
{
    if (!m_services.openURL)
        m_services.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (!m_services.notifications)
        m_services.notifications = &NotificationHandler::shared();

    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(Texts::windowTitle());
    setMinimumSize(480, 560);
    resize(520, 680);

    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("settingsContent"));
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(14);
    m_connection = new ConnectionSection(state, m_services, content);
    m_notifications = new NotificationsSection(state, m_services, content);
    m_sync = new SyncSection(state, m_services, content);
    m_about = new AboutSection(m_services, content);
    for (QWidget* section : { static_cast<QWidget*>(m_connection), static_cast<QWidget*>(m_notifications),
             static_cast<QWidget*>(m_sync), static_cast<QWidget*>(m_about) })
        sections->addWidget(section);
    sections->addStretch(1);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* done = new QPushButton(Texts::done(), this);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(done);
    outer->addLayout(buttons);

    addCloseKeys();
    connect(m_notifications, &NotificationsSection::statusRead, this, &SettingsWindow::notificationStatusRead);
    connect(m_sync, &SyncSection::checkIntervalChanged, this, &SettingsWindow::checkIntervalChanged);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::setStatusIconShown(bool shown)
{
    m_sync->setStatusIconShown(shown);
}

void SettingsWindow::addCloseKeys()
{
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setObjectName(QStringLiteral("escapeShortcut"));
    connect(close, &QShortcut::activated, this, &QWidget::close);
    // The main window's Close Window keys close this one too, Ctrl+W wherever the desktop's own key differs.
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.append(QKeySequence(Qt::CTRL | Qt::Key_W));
    auto* closeWindow = new QShortcut(this);
    closeWindow->setObjectName(QStringLiteral("closeShortcut"));
    closeWindow->setKeys(closeKeys);
    connect(closeWindow, &QShortcut::activated, this, &QWidget::close);
}

NotificationCentre::AuthorizationStatus SettingsWindow::notificationStatus() const
{
    return m_notifications->status();
}

QMessageBox* SettingsWindow::unlinkConfirmation() const
{
    return m_connection->unlinkConfirmation();
}

QMessageBox* SettingsWindow::clearConfirmation() const
{
    return m_sync->clearConfirmation();
}

void SettingsWindow::showAndRaise()
{
    tidewell::showAndRaise(this);
}

// Read each time the window is shown: a change made in the desktop's settings shows on the next opening.
void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_notifications->readStatus();
}

} // namespace tidewell
