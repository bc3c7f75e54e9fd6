#pragma once

#include <QWidget>

namespace tidewell {

class AppState;

// The settings window: one per process, opened from the main window and by Ctrl+,.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString windowTitle();
    };

    explicit SettingsWindow(AppState& state, QWidget* parent = nullptr);

    void showAndRaise();

private:
    AppState& m_state;
};

} // namespace tidewell
