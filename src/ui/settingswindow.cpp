#include "settingswindow.h"

#include "state/appstate.h"

#include <QShortcut>
#include <QVBoxLayout>

namespace tidewell {

QString SettingsWindow::Texts::windowTitle()
{
    return QStringLiteral("Settings");
}

SettingsWindow::SettingsWindow(AppState& state, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
{
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(Texts::windowTitle());
    setMinimumSize(480, 560);
    new QVBoxLayout(this);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void SettingsWindow::showAndRaise()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

} // namespace tidewell
