#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class StatusNotifierItem;

// The notification-area icon and its menu: the master macros to switch between, in tree order
// with the live one ticked, above the separator and "&Quit"; a tool tip and an icon that say
// what is live. Choosing an entry only asks (masterChosen); the window decides, as for a tick in
// the tree, and reports back through showMasters().
// A tray that speaks the StatusNotifierItem protocol shows our own item; the QSystemTrayIcon,
// which Qt binds to one kind of tray for the whole process, shows only while no such tray runs,
// and then lands in an X11 tray, where a double click is what activates it.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    // The icon and the menu are children of `window`.
    TrayIcon(const QIcon &mainIcon, QAction *quit, QWidget *window);

    QSystemTrayIcon *icon() const { return m_icon; }
    bool inStatusNotifierTray() const;
    // False until it is known whether a StatusNotifier tray runs (asked at start).
    bool knowsTray() const;

    void showMasters(const QStringList &masters, const QString &live);
    // Off while the editor holds unsaved edits, as the tree is.
    void setMastersEnabled(bool enabled);
    void showLive(const QString &toolTip, bool hotKeysLive);
    void showMessage(const QString &title, const QString &text);

    // What the tool tip says for the window `title` with `live` in use ("" for none),
    // `unavailable` of its hot keys not working, and why the last paste failed ("" if it did not).
    static QString toolTip(const QString &title, const QString &live, int unavailable,
                           const QString &pasteFailure = QString());
    // The main icon with the mark of live hot keys in its lower right corner.
    static QIcon liveIcon(const QIcon &mainIcon);

Q_SIGNALS:
    void masterChosen(const QString &name);
    // The user asked for the window (or for it to go away).
    void activated();
    void menuAboutToShow();
    void statusNotifierTrayChanged();

private:
    void applyTicks();
    void showOneIcon();

    QIcon m_mainIcon;
    QIcon m_liveIcon;
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu = nullptr;
    StatusNotifierItem *m_item = nullptr;
    QAction *m_separator = nullptr;
    QList<QAction *> m_masterActions;
    QString m_live;
    bool m_mastersEnabled = true;
};
