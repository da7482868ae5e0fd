#pragma once

#include <functional>
#include <QDBusArgument>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The desktop portal service, its object and the session interface every portal shares.
namespace Portal {
inline const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString GlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
inline const QString RemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
inline const QString Session = QStringLiteral("org.freedesktop.portal.Session");

// One entry of the portals' shortcut lists, a(sa{sv}): an id and its properties.
struct Shortcut
{
    QString id;
    QVariantMap properties;
};
using ShortcutList = QList<Shortcut>;

// Makes the types above known to QtDBus; cheap to call again.
void registerTypes();
// Asks Session.Close of a session handle; the answer does not matter.
void closeSession(const QString &handle);
} // namespace Portal

QDBusArgument &operator<<(QDBusArgument &argument, const Portal::Shortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, Portal::Shortcut &shortcut);
Q_DECLARE_METATYPE(Portal::Shortcut)
Q_DECLARE_METATYPE(Portal::ShortcutList)

// One call of a portal method that answers later through the Response signal of a request
// object. The receiver of that signal lives until the answer (or a failed call) arrives.
class PortalRequest final : public QObject
{
    Q_OBJECT

public:
    // response: 0 success, 1 cancelled by the user, 2 anything else (a failed call too).
    using Done = std::function<void(uint response, const QVariantMap &results)>;

    // Calls `method` on the portal with `arguments`, whose last one must be the options map;
    // a fresh handle_token is put into it. `done` runs on this thread, unless `context` is
    // gone by then.
    static void call(const QString &interface, const QString &method, QVariantList arguments,
                     QObject *context, Done done);

private Q_SLOTS:
    void response(uint response, const QVariantMap &results);

private:
    PortalRequest(QObject *context, Done done);
    void finish(uint response, const QVariantMap &results);

    bool m_contextAlive = true;
    Done m_done;
};
