#pragma once

#include <functional>
#include <QDBusArgument>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>

// The desktop portal service, its object and the session interface every portal shares.
namespace Portal {
inline const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString GlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
inline const QString RemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
inline const QString Session = QStringLiteral("org.freedesktop.portal.Session");
// KDE's shortcut daemon, behind its portal back-end.
inline const QString KGlobalAccelService = QStringLiteral("org.kde.kglobalaccel");

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
// object. The receiver of that signal lives until the answer, a failed call or the time-out.
class PortalRequest final : public QObject
{
    Q_OBJECT

public:
    // A desktop may ask the user first; one that has not answered by then never will.
    static constexpr int TimeoutMs = 5 * 60 * 1000;

    // response: 0 success, 1 cancelled by the user, 2 anything else (a failed call and the
    // time-out too).
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
    QTimer m_timeout;
};
