// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/statusitem.h"

#include "state/appstate.h"
#include "ui/colours.h"
#include "ui/icons.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace tidewell {

StatusItem::StatusItem(AppState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_menu(std::make_unique<QMenu>())
    , m_tray(std::make_unique<QSystemTrayIcon>())
{
    m_tray->setObjectName(QStringLiteral("statusItem"));
    m_menu->setObjectName(QStringLiteral("statusMenu"));
    m_tray->setContextMenu(m_menu.get());
    // Built when it opens, never earlier: the count may have changed since the last time.
    connect(m_menu.get(), &QMenu::aboutToShow, this, &StatusItem::rebuildMenu);
    // Every click but the one that asks for the menu brings the window back: a middle click, a double click, and
    // whatever a status area sends for a click it has no name for.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Context)
            emit openRequested();
    });
    connect(&state, &AppState::unreadCountChanged, this, &StatusItem::update);
    update();
}

StatusItem::~StatusItem() = default;

QString StatusItem::Texts::accessibleName()
{
    return tr("Tidewell");
}

// A status area that shows items through the desktop bus names the item by the application's name, which is
// Tidewell's. One that embeds a small window (the older X11 status areas) reads that window's name instead, and
// Qt gives it none: it is named here, found by the object name Qt gives it.
void StatusItem::show()
{
    m_tray->show();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == u"QSystemTrayIconSys") {
            window->setWindowTitle(Texts::accessibleName());
            window->setAccessibleName(Texts::accessibleName());
        }
    }
}

void StatusItem::update()
{
    StatusItemContent content = StatusItemContent::forCount(m_state.unreadCount());
    if (content.title != m_content.title || m_tray->icon().isNull())
        m_tray->setIcon(icon(content.title));
    m_tray->setToolTip(content.toolTip);
    m_content = std::move(content);
}

void StatusItem::rebuildMenu()
{
    using Kind = StatusItemContent::MenuEntry::Kind;
    m_menu->clear();
    for (const StatusItemContent::MenuEntry& entry : StatusItemContent::forCount(m_state.unreadCount()).menu) {
        switch (entry.kind) {
        case Kind::Open:
            m_menu->addAction(entry.text, this, &StatusItem::openRequested)
                ->setObjectName(QStringLiteral("statusOpen"));
            break;
        case Kind::MarkAllRead:
            m_menu
                ->addAction(entry.text, this, [this] { m_state.markRead(); }) // runs on; failures become state
                ->setObjectName(QStringLiteral("statusMarkAllRead"));
            break;
        case Kind::Separator:
            m_menu->addSeparator()->setObjectName(QStringLiteral("statusSeparator"));
            break;
        case Kind::Quit: {
            QAction* quit = m_menu->addAction(entry.text, this, &StatusItem::quitRequested);
            quit->setObjectName(QStringLiteral("statusQuit"));
            // Shown as a reminder; the application-wide Ctrl+Q of the main window is the one that acts.
            quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
            quit->setShortcutContext(Qt::WidgetShortcut);
            break;
        }
        }
    }
}

QIcon StatusItem::icon(const QString& title)
{
    constexpr int size = 64;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Icons::symbol(QStringLiteral("bell")).paint(&painter, QRect(0, 0, size, size));
    const QString count = title.trimmed();
    if (!count.isEmpty()) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(count.size() > 2 ? 22 : 28);
        painter.setFont(font);
        const int width = std::max(painter.fontMetrics().horizontalAdvance(count) + 12, 36);
        const QRectF badge(size - width, 0, width, 36);
        QPainterPath pill;
        pill.addRoundedRect(badge, 18, 18);
        painter.fillPath(pill, Colours::negative());
        painter.setPen(Colours::onFill());
        painter.drawText(badge, Qt::AlignCenter, count);
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace tidewell
