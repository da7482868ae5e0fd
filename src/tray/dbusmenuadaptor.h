#pragma once

#include <functional>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;
class QMenu;

// An entry and, for the root, the entries below it: (ia{sv}av) on the bus.
struct DBusMenuLayout
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

// An entry's properties without its children: (ia{sv}).
struct DBusMenuItem
{
    int id = 0;
    QVariantMap properties;
};

// One user action on an entry: (isvu).
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayout &layout);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayout &layout);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItem &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event);

Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItem)
Q_DECLARE_METATYPE(DBusMenuEvent)

// com.canonical.dbusmenu for a flat QMenu: trays that draw the menu themselves read its entries
// (labels, ticks, enabled, separators) here and send the clicks back, which trigger the actions.
// A change of the menu is announced once per turn of the event loop.
class DBusMenuAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    // Exported on `object`; `aboutToShow` runs when a tray is about to open the menu.
    DBusMenuAdaptor(QMenu *menu, QObject *object, std::function<void()> aboutToShow);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // A QAction text as the protocol writes it: "_" marks the mnemonic, "__" is an underscore.
    static QString label(const QString &text);

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   DBusMenuLayout &layout);
    QList<DBusMenuItem> GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const QList<DBusMenuEvent> &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int idOf(QAction *action);
    QAction *actionOf(int id) const;
    // The root's (null `action`) or an entry's properties, only those `names` lists if any.
    static QVariantMap properties(const QAction *action, const QStringList &names);

    QMenu *m_menu;
    std::function<void()> m_aboutToShow;
    QHash<QAction *, int> m_ids;
    int m_lastId = 0;
    uint m_revision = 1;
    bool m_updatePending = false;
};
