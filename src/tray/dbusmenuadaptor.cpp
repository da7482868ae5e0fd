#include "dbusmenuadaptor.h"

#include <QAction>
#include <QActionEvent>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayout &layout)
{
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout &child : layout.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayout &layout)
{
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.children << qdbus_cast<DBusMenuLayout>(child.variant());
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenuAdaptor::DBusMenuAdaptor(QMenu *menu, QObject *object, std::function<void()> aboutToShow)
    : QDBusAbstractAdaptor(object), m_menu(menu), m_aboutToShow(std::move(aboutToShow))
{
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuItem>();
    qDBusRegisterMetaType<QList<DBusMenuItem>>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuEvent>>();
    m_menu->installEventFilter(this);
}

QString DBusMenuAdaptor::textDirection() const
{
    return QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

QString DBusMenuAdaptor::label(const QString &text)
{
    QString result;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            if (text.at(i) != QLatin1Char('&'))
                result += QLatin1Char('_');
            result += text.at(i);
        } else {
            result += c == QLatin1Char('_') ? QStringLiteral("__") : QString(c);
        }
    }
    return result;
}

int DBusMenuAdaptor::idOf(QAction *action)
{
    auto found = m_ids.constFind(action);
    if (found == m_ids.constEnd())
        found = m_ids.insert(action, ++m_lastId);
    return *found;
}

QAction *DBusMenuAdaptor::actionOf(int id) const
{
    const QList<QAction *> actions = m_menu->actions();
    for (QAction *action : actions) {
        if (m_ids.value(action, 0) == id && id > 0)
            return action;
    }
    return nullptr;
}

QVariantMap DBusMenuAdaptor::properties(const QAction *action, const QStringList &names)
{
    QVariantMap all;
    if (!action) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (action->isSeparator()) {
        all.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        all.insert(QStringLiteral("label"), label(action->text()));
        all.insert(QStringLiteral("enabled"), action->isEnabled());
        if (action->isCheckable()) {
            all.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
            all.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
        }
    }
    if (action && !action->isVisible())
        all.insert(QStringLiteral("visible"), false);
    if (names.isEmpty())
        return all;
    QVariantMap asked;
    for (const QString &name : names) {
        if (all.contains(name))
            asked.insert(name, all.value(name));
    }
    return asked;
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                                DBusMenuLayout &layout)
{
    layout = DBusMenuLayout{parentId, properties(actionOf(parentId), propertyNames), {}};
    if (parentId == 0 && recursionDepth != 0) {
        const QList<QAction *> actions = m_menu->actions();
        for (QAction *action : actions)
            layout.children << DBusMenuLayout{idOf(action), properties(action, propertyNames), {}};
    }
    return m_revision;
}

QList<DBusMenuItem> DBusMenuAdaptor::GetGroupProperties(const QList<int> &ids,
                                                        const QStringList &propertyNames)
{
    QList<DBusMenuItem> items;
    for (int id : ids) {
        if (const QAction *action = actionOf(id); action || id == 0)
            items << DBusMenuItem{id, properties(action, propertyNames)};
    }
    return items;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString &name)
{
    return QDBusVariant(properties(actionOf(id), {name}).value(name));
}

void DBusMenuAdaptor::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    QAction *action = actionOf(id);
    if (eventId == QLatin1String("clicked") && action && action->isEnabled() &&
        !action->isSeparator())
        action->trigger();
}

QList<int> DBusMenuAdaptor::EventGroup(const QList<DBusMenuEvent> &events)
{
    QList<int> unknown;
    for (const DBusMenuEvent &event : events) {
        if (actionOf(event.id))
            Event(event.id, event.eventId, event.data, event.timestamp);
        else
            unknown << event.id;
    }
    return unknown;
}

bool DBusMenuAdaptor::AboutToShow(int id)
{
    if (id == 0)
        m_aboutToShow();
    return false;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    idErrors.clear();
    if (ids.contains(0))
        m_aboutToShow();
    return {};
}

bool DBusMenuAdaptor::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ActionRemoved)
        m_ids.remove(static_cast<QActionEvent *>(event)->action());
    if ((type == QEvent::ActionAdded || type == QEvent::ActionRemoved ||
         type == QEvent::ActionChanged) &&
        !std::exchange(m_updatePending, true)) {
        QTimer::singleShot(0, this, [this] {
            m_updatePending = false;
            Q_EMIT LayoutUpdated(++m_revision, 0);
        });
    }
    return QDBusAbstractAdaptor::eventFilter(watched, event);
}
