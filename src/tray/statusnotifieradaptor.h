#pragma once

#include <functional>
#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QList>
#include <QPoint>
#include <QString>

class QIcon;

// One image of an icon as trays read it: ARGB32 pixels in network byte order.
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};

// What a tray shows on hover: an icon, a title and a text under it.
struct SniToolTip
{
    QString iconName;
    QList<SniPixmap> pixmaps;
    QString title;
    QString text;
};

QDBusArgument &operator<<(QDBusArgument &argument, const SniPixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &argument, SniPixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &argument, const SniToolTip &tip);
const QDBusArgument &operator>>(const QDBusArgument &argument, SniToolTip &tip);

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)

// org.kde.StatusNotifierItem: what a tray reads from the item (its icon, tool tip and menu) and
// the clicks it passes on. Names and types are the protocol's.
class StatusNotifierAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ id)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(QString IconThemePath READ noName)
    Q_PROPERTY(QList<SniPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(QList<SniPixmap> OverlayIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(QList<SniPixmap> AttentionIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    struct Handlers
    {
        std::function<void()> activate;
        std::function<void(QPoint)> contextMenu;
    };

    // Exported on `item`; the menu is the object at `menuPath`.
    StatusNotifierAdaptor(QObject *item, const QString &menuPath, Handlers handlers);

    void setIcon(const QIcon &icon);
    // The first line is the title, the others the text.
    void setToolTip(const QString &toolTip);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const;
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString noName() const { return QString(); }
    QList<SniPixmap> iconPixmap() const { return m_pixmaps; }
    QList<SniPixmap> noPixmap() const { return {}; }
    SniToolTip toolTip() const { return m_toolTip; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return m_menu; }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    QDBusObjectPath m_menu;
    Handlers m_handlers;
    QList<SniPixmap> m_pixmaps;
    SniToolTip m_toolTip;
};
