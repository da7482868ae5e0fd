#pragma once

#include <QObject>

class QWidget;

// The program's dialogs block the main window, not the whole program: the tray icon (in an X11
// tray a window of the program's own) and its menu stay usable while one is open, so that the
// user can switch master macros or quit. A dialog without a parent counts as the main window's.
class ModalScope final : public QObject
{
    Q_OBJECT

public:
    // Watches every window the program shows, for as long as `mainWindow` lives.
    explicit ModalScope(QWidget *mainWindow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
};
