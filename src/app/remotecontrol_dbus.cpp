// The door on the session bus. The session bus is the user's alone (the bus daemon admits no
// other user), and each call is checked once more against our own user id, as a bus set up more
// openly than usual would let others in.
#include "remotecontrol.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QTextStream>

#include <unistd.h>

Q_DECLARE_METATYPE(RemoteControl::Entry)

namespace {

const QString Service = QStringLiteral("org.corvane.Keyquill");
const QString Path = QStringLiteral("/Keyquill");
const QString NoSuchNoteError = QStringLiteral("org.corvane.Keyquill.Error.NoSuchNote");
const QString BusyError = QStringLiteral("org.corvane.Keyquill.Error.Busy");
// A call the instance does not answer in this time is not waited for longer.
constexpr int CallTimeoutMs = 10000;

QString say(const char *text)
{
    return QCoreApplication::translate("RemoteControl", text);
}

void registerTypes()
{
    qDBusRegisterMetaType<RemoteControl::Entry>();
    qDBusRegisterMetaType<QList<RemoteControl::Entry>>();
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const RemoteControl::Entry &entry)
{
    argument.beginStructure();
    argument << entry.master << entry.note << entry.hotKey;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, RemoteControl::Entry &entry)
{
    argument.beginStructure();
    argument >> entry.master >> entry.note >> entry.hotKey;
    argument.endStructure();
    return argument;
}

namespace {

class BusDoor final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.corvane.Keyquill")

public:
    explicit BusDoor(const RemoteControl::Handlers &handlers) : m_handlers(handlers) {}

public Q_SLOTS:
    Q_SCRIPTABLE void Pick()
    {
        if (fromUs())
            m_handlers.pick();
    }
    Q_SCRIPTABLE void Deliver(const QString &master, const QString &note)
    {
        if (!fromUs())
            return;
        switch (m_handlers.deliver(master, note)) {
        case RemoteControl::Taken::Yes:
            break;
        case RemoteControl::Taken::NoSuchNote:
            sendErrorReply(
                NoSuchNoteError,
                say("Keyquill has no note \"%1\" in the master macro \"%2\".").arg(note, master));
            break;
        case RemoteControl::Taken::Busy:
            sendErrorReply(BusyError, say("Keyquill has too many deliveries waiting already; try "
                                          "again once they have gone out."));
            break;
        }
    }
    Q_SCRIPTABLE QList<RemoteControl::Entry> List()
    {
        return fromUs() ? m_handlers.list() : QList<RemoteControl::Entry>();
    }

private:
    bool fromUs()
    {
        const QDBusReply<uint> uid = connection().interface()->serviceUid(message().service());
        if (uid.isValid() && uid.value() == ::getuid())
            return true;
        sendErrorReply(QDBusError::AccessDenied, say("Only Keyquill's own user may call it."));
        return false;
    }

    const RemoteControl::Handlers &m_handlers;
};

} // namespace

struct RemoteControl::Door
{
    explicit Door(const Handlers &handlers) : object(handlers) {}
    BusDoor object;
};

RemoteControl::RemoteControl(Handlers handlers, QObject *parent)
    : QObject(parent), m_handlers(std::move(handlers))
{
}

RemoteControl::~RemoteControl()
{
    if (!m_door)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(Path);
    bus.unregisterService(Service);
}

bool RemoteControl::listen(QString *why)
{
    registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto door = std::make_unique<Door>(m_handlers);
    QString problem;
    if (!bus.isConnected())
        problem = bus.lastError().message();
    else if (!bus.registerObject(Path, &door->object, QDBusConnection::ExportScriptableSlots))
        problem = say("the object %1 is taken").arg(Path);
    else if (!bus.registerService(Service))
        problem = bus.lastError().message();
    if (problem.isEmpty()) {
        m_door = std::move(door);
        return true;
    }
    if (bus.isConnected())
        bus.unregisterObject(Path);
    if (why)
        *why = problem;
    return false;
}

int RemoteControl::call(const CommandLine &command, QTextStream &out, QTextStream &err)
{
    registerTypes();
    const auto fail = [&err](const QString &why, int code) {
        err << "keyquill: " << why << Qt::endl;
        return code;
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(
            say("no session bus to reach Keyquill through (%1).").arg(bus.lastError().message()),
            CommandLine::Unreachable);
    const char *method = command.action == CommandLine::Action::Pick      ? "Pick"
                         : command.action == CommandLine::Action::Deliver ? "Deliver"
                                                                          : "List";
    QDBusMessage message =
        QDBusMessage::createMethodCall(Service, Path, Service, QLatin1String(method));
    if (command.action == CommandLine::Action::Deliver)
        message << command.master << command.note;
    // Not started by the bus: a Keyquill the user has not started stays not running.
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, CallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == NoSuchNoteError)
            return fail(reply.errorMessage(), CommandLine::NoSuchNote);
        if (reply.errorName() == BusyError)
            return fail(reply.errorMessage(), CommandLine::Busy);
        const QDBusError error(reply);
        if (error.type() == QDBusError::ServiceUnknown ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return fail(say("Keyquill is not running."), CommandLine::Unreachable);
        return fail(say("Keyquill could not be reached: %1").arg(reply.errorMessage()),
                    CommandLine::Unreachable);
    }
    if (command.action == CommandLine::Action::List) {
        QString master;
        const auto entries = qdbus_cast<QList<Entry>>(reply.arguments().value(0));
        for (const Entry &entry : entries) {
            if (entry.master != std::exchange(master, entry.master))
                out << entry.master << '\n';
            if (!entry.note.isEmpty())
                out << entry.master << '/' << entry.note
                    << (entry.hotKey.isEmpty() ? QString() : QLatin1Char('\t') + entry.hotKey)
                    << '\n';
        }
        out.flush();
    }
    return CommandLine::Done;
}

#include "remotecontrol_dbus.moc"
