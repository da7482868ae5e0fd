#include "portalrequest.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>
#include <utility>

QDBusArgument &operator<<(QDBusArgument &argument, const Portal::Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Portal::Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void Portal::registerTypes()
{
    // By name too: QtDBus matches signal arguments to slots by their type names.
    qRegisterMetaType<QDBusObjectPath>();
    qDBusRegisterMetaType<Portal::Shortcut>();
    qDBusRegisterMetaType<Portal::ShortcutList>();
    qDBusRegisterMetaType<QList<QStringList>>();
}

void Portal::closeSession(const QString &handle)
{
    QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(Service, handle, Session, QStringLiteral("Close")));
}

PortalRequest::PortalRequest(QObject *context, Done done) : m_done(std::move(done))
{
    connect(context, &QObject::destroyed, this, [this] { m_contextAlive = false; });
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(2, {}); });
    m_timeout.start(TimeoutMs);
}

void PortalRequest::call(const QString &interface, const QString &method, QVariantList arguments,
                         QObject *context, Done done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto *request = new PortalRequest(context, std::move(done));
    if (!bus.isConnected() || arguments.isEmpty()) {
        request->finish(2, {});
        return;
    }
    // The portal names the request object after our bus name and the token, so the answer
    // can be listened for before the call goes out and never slips past.
    const QString token = QStringLiteral("keyquill%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    bus.connect(Portal::Service, path, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), request, SLOT(response(uint, QVariantMap)));

    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);
    QDBusMessage message =
        QDBusMessage::createMethodCall(Portal::Service, Portal::Path, interface, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher] {
        watcher->deleteLater();
        if (watcher->isError())
            request->finish(2, {});
    });
}

void PortalRequest::response(uint response, const QVariantMap &results)
{
    finish(response, results);
}

void PortalRequest::finish(uint response, const QVariantMap &results)
{
    if (!m_done)
        return;
    const Done done = std::exchange(m_done, nullptr);
    deleteLater();
    if (m_contextAlive)
        done(response, results);
}
