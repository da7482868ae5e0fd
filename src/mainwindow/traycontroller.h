#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

class HotKeyController;
class LiveMaster;
class QAction;
class QMainWindow;
class QTreeWidget;
class TrayIcon;

// The program's life in the notification area: the tray icon with its menu of master macros
// (choosing one makes it live, as a tick in the tree would), its tool tip and its mark of live
// hot keys; the window hidden on close, or minimized while there is no tray and taken into the
// tray once one comes up; the window shown and hidden from the icon.
class TrayController final : public QObject
{
    Q_OBJECT

public:
    // The master macros listed are the top-level rows of `tree`, in its order.
    TrayController(QMainWindow &window, const QTreeWidget &tree, LiveMaster &live,
                   HotKeyController &keys, QAction *quit);

    QSystemTrayIcon *icon() const;
    // Called for a close of the window: true when it hides it (or minimizes it) instead, and the
    // close is to be ignored.
    bool keepOnClose();
    // Off while the editor holds unsaved edits, as the tree is.
    void setMastersEnabled(bool enabled);
    // How many hot keys of the live master macro cannot work, for the tool tip.
    void setUnavailable(int count);
    // A paste that did not go out: said once as a notification, and in the tool tip until the
    // next paste goes out.
    void showPasteFailure(const QString &why);

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void choose(const QString &master);
    void syncMasters();
    void showLive();
    void takeWindowIntoTray();

    QMainWindow &m_window;
    const QTreeWidget &m_tree;
    LiveMaster &m_live;
    HotKeyController &m_keys;
    TrayIcon *m_tray;
    QTimer m_mastersSync; // the tree changes row by row; the menu follows once per turn
    QTimer m_trayWatch;   // runs only while the window waits minimized for a tray
    bool m_mastersEnabled = true;
    int m_unavailable = 0;
    QString m_pasteFailure;
};
