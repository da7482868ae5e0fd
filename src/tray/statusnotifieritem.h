#pragma once

#include <memory>
#include <QObject>
#include <QString>

class QIcon;
class QMenu;

// The program's item for trays that speak the StatusNotifierItem protocol over D-Bus (KDE
// Plasma, GNOME with its extension, waybar and most panels today), with the menu exported for
// the tray to draw. It is registered with the session's StatusNotifierWatcher whenever one runs,
// also one that comes up after the program. Without D-Bus it never is.
class StatusNotifierItem final : public QObject
{
    Q_OBJECT

public:
    // `menu` must outlive the item.
    explicit StatusNotifierItem(QMenu *menu, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // True while a watcher holds the item, and while one that runs is being asked to.
    bool isInTray() const;
    // False until the bus has said whether a watcher runs (asked in the background at start);
    // inTrayChanged() comes then, whatever the answer.
    bool isKnown() const;
    void setIcon(const QIcon &icon);
    void setToolTip(const QString &toolTip);
    // Such trays show no balloons: the desktop's notifications do.
    void showMessage(const QString &title, const QString &text);

Q_SIGNALS:
    void inTrayChanged();
    // The tray's primary action on the item (a click in most trays).
    void activated();
    void menuAboutToShow();

private:
    struct Bus;
    std::unique_ptr<Bus> m_bus;
};
