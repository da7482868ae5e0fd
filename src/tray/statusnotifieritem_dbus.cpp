#include "statusnotifieritem.h"

#include "tray/dbusmenuadaptor.h"
#include "tray/statusnotifieradaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QMetaMethod>

namespace {

const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString MenuPath = QStringLiteral("/MenuBar");

// `dbus-send` without --print-reply, the tool scripts and panel modules click items with, sends
// a method's name as a signal, which no object would hear: such a signal addressed to the item
// (or its menu) goes out again to the item as the call it names, expecting no reply.
class SignalAsCall final : public QObject
{
    Q_OBJECT

public:
    SignalAsCall(QDBusConnection connection, QObject *parent)
        : QObject(parent), m_connection(std::move(connection))
    {
    }
    // For every method `adaptor` exports at `path`.
    void listen(const QString &path, const QDBusAbstractAdaptor &adaptor)
    {
        const QMetaObject *meta = adaptor.metaObject();
        const QString interface =
            QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("D-Bus Interface")).value());
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Public)
                m_connection.connect(QString(), path, interface, QString::fromLatin1(method.name()),
                                     this, SLOT(call(QDBusMessage)));
        }
    }

private Q_SLOTS:
    void call(const QDBusMessage &signal)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            m_connection.baseService(), signal.path(), signal.interface(), signal.member());
        call.setArguments(signal.arguments());
        m_connection.send(call);
    }

private:
    QDBusConnection m_connection;
};

} // namespace

// A connection of the item's own: its unique name is the item's address on the bus, and a
// watcher forgets the item as soon as the connection closes.
struct StatusNotifierItem::Bus
{
    QString name;
    QDBusConnection connection;
    QObject item;
    QObject menu;
    StatusNotifierAdaptor *adaptor = nullptr;
    QDBusServiceWatcher watcher;
    bool inTray = false;
    bool known = false;

    explicit Bus(const QString &connectionName)
        : name(connectionName),
          connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)),
          watcher(Watcher, connection, QDBusServiceWatcher::WatchForOwnerChange)
    {
    }
    ~Bus()
    {
        connection.unregisterObject(ItemPath);
        connection.unregisterObject(MenuPath);
        QDBusConnection::disconnectFromBus(name);
    }
};

StatusNotifierItem::StatusNotifierItem(QMenu *menu, QObject *parent)
    : QObject(parent),
      m_bus(std::make_unique<Bus>(
          QStringLiteral("keyquill-tray-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)))
{
    if (!m_bus->connection.isConnected()) {
        m_bus.reset(); // no session bus: no such tray either
        return;
    }
    m_bus->adaptor = new StatusNotifierAdaptor(
        &m_bus->item, MenuPath,
        {[this] { Q_EMIT activated(); }, [menu](QPoint at) { menu->popup(at); }});
    auto *menuAdaptor =
        new DBusMenuAdaptor(menu, &m_bus->menu, [this] { Q_EMIT menuAboutToShow(); });
    m_bus->connection.registerObject(ItemPath, &m_bus->item, QDBusConnection::ExportAdaptors);
    m_bus->connection.registerObject(MenuPath, &m_bus->menu, QDBusConnection::ExportAdaptors);
    auto *relay = new SignalAsCall(m_bus->connection, this);
    relay->listen(ItemPath, *m_bus->adaptor);
    relay->listen(MenuPath, *menuAdaptor);

    const auto setInTray = [this](bool inTray) {
        if (std::exchange(m_bus->inTray, inTray) != inTray)
            Q_EMIT inTrayChanged();
    };
    const auto registerItem = [this, setInTray] {
        QDBusMessage call =
            QDBusMessage::createMethodCall(Watcher, QStringLiteral("/StatusNotifierWatcher"),
                                           Watcher, QStringLiteral("RegisterStatusNotifierItem"));
        call.setArguments({m_bus->connection.baseService()});
        call.setAutoStartService(false);
        auto *reply = new QDBusPendingCallWatcher(m_bus->connection.asyncCall(call), this);
        connect(reply, &QDBusPendingCallWatcher::finished, this, [reply, setInTray] {
            reply->deleteLater();
            setInTray(!reply->isError());
        });
    };
    connect(&m_bus->watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [registerItem, setInTray](const QString &, const QString &, const QString &owner) {
                if (owner.isEmpty())
                    setInTray(false);
                else
                    registerItem();
            });
    // Asked once at start, in the background: the program's other icon waits for the answer,
    // so that a tray that runs already never sees two icons.
    QDBusMessage question = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    question.setArguments({Watcher});
    auto *answer = new QDBusPendingCallWatcher(m_bus->connection.asyncCall(question), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, registerItem] {
        answer->deleteLater();
        const QDBusPendingReply<bool> reply = *answer;
        m_bus->known = true;
        if (!reply.isError() && reply.value() && !m_bus->inTray) {
            m_bus->inTray = true;
            registerItem();
        }
        Q_EMIT inTrayChanged();
    });
}

bool StatusNotifierItem::isKnown() const
{
    return !m_bus || m_bus->known;
}

StatusNotifierItem::~StatusNotifierItem() = default;

bool StatusNotifierItem::isInTray() const
{
    return m_bus && m_bus->inTray;
}

void StatusNotifierItem::setIcon(const QIcon &icon)
{
    if (m_bus)
        m_bus->adaptor->setIcon(icon);
}

void StatusNotifierItem::setToolTip(const QString &toolTip)
{
    if (m_bus)
        m_bus->adaptor->setToolTip(toolTip);
}

void StatusNotifierItem::showMessage(const QString &title, const QString &text)
{
    if (!m_bus)
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify.setArguments({QCoreApplication::applicationName(), 0U, QString(), title, text,
                         QStringList(), QVariantMap(), -1});
    m_bus->connection.call(notify, QDBus::NoBlock);
}

#include "statusnotifieritem_dbus.moc"
