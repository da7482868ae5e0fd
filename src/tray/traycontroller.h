#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

class KeyRegistration;
class LiveMaster;
class QAction;
class QMainWindow;
class TrayIcon;
class XEmbedTrayWatch;

// The program's life in the notification area: the tray icon with its menu of master macros
// (choosing one makes it live, as a tick in the tree would), its tool tip and its mark of live
// hot keys; the window hidden on close, or minimized while there is no tray and taken into the
// tray once one comes up (told, never polled); the window shown and hidden from the icon.
class TrayController final : public QObject
{
    Q_OBJECT

public:
    // The master macros listed are those `masters` gives, in its order (the tree's). All must
    // outlive this.
    TrayController(QMainWindow &window, std::function<QStringList()> masters, LiveMaster &live,
                   KeyRegistration &keys, QAction *quit);

    // Called for a close of the window, which is then to be ignored: hides the window, or
    // minimizes it while there is no tray to come back from.
    void keepOnClose();
    // The user is bringing the window up: what the close at start meant to do with it, once the
    // tray was known, is dropped.
    void userShowsWindow();
    // Off while the editor holds unsaved edits, as the tree is.
    void setMastersEnabled(bool enabled);
    // How many hot keys of the live master macro cannot work, for the tool tip.
    void setUnavailable(int count);
    // What the last delivery left as written ("" for nothing), for the tool tip.
    void showFillInWarning(const QString &warning);
    // The store's master macros changed (added, renamed, deleted, reloaded): the menu follows.
    void mastersChanged();
    // A notification, where the desktop shows them.
    void showMessage(const QString &title, const QString &text);
    // A paste that did not go out: said once as a notification, and in the tool tip until the
    // next paste goes out.
    void showDelivered(const QString &failure, const QString &warning);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void toggleWindow();
    void choose(const QString &master);
    void syncMasters();
    void showLive();
    bool trayRuns() const;
    void takeWindowIntoTray();

    QMainWindow &m_window;
    std::function<QStringList()> m_masters;
    LiveMaster &m_live;
    KeyRegistration &m_keys;
    TrayIcon *m_tray;
    XEmbedTrayWatch *m_xembedTray;
    QTimer m_mastersSync;          // the store changes master by master; the menu follows once
    bool m_waitingForTray = false; // minimized for want of a tray, and not looked at since
    bool m_hiddenUnsure = false;   // hidden before it was known whether a tray runs
    bool m_mastersEnabled = true;
    int m_unavailable = 0;
    QString m_pasteFailure;
    QString m_fillInWarning;
};
