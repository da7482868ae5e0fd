#include "portalshortcutbackend.h"

#include "hotkeys/portal/portalplatform.h"
#include "hotkeys/portal/portalrequest.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>
#include <utility>

namespace {

QString idFor(int code)
{
    return QString::number(code);
}

// The trigger in the portals' notation: modifiers in capitals, then the key's name, letters
// in lower case as their key symbols are named.
QString triggerFor(int code)
{
    QString trigger;
    if (code & Qt::ControlModifier)
        trigger += QStringLiteral("CTRL+");
    if (code & Qt::AltModifier)
        trigger += QStringLiteral("ALT+");
    if (code & Qt::ShiftModifier)
        trigger += QStringLiteral("SHIFT+");
    if (code & Qt::MetaModifier)
        trigger += QStringLiteral("LOGO+");
    const int key = code & ~Qt::KeyboardModifierMask;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return trigger + QChar(QLatin1Char('a' + (key - Qt::Key_A)));
    return trigger + QKeySequence(key).toString(QKeySequence::PortableText);
}

QDBusMessage kglobalaccelCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(Portal::KGlobalAccelService, QStringLiteral("/kglobalaccel"),
                                       QStringLiteral("org.kde.KGlobalAccel"), method);
    message.setArguments(arguments);
    return message;
}

void unregisterFromKGlobalAccel(const QString &id)
{
    QDBusConnection::sessionBus().asyncCall(kglobalaccelCall(
        QStringLiteral("unregister"), {PortalShortcutBackend::sessionToken(), id}));
}

} // namespace

PortalShortcutBackend::PortalShortcutBackend(Handlers handlers, PortalPlatform &platform)
    : m_handlers(std::move(handlers)), m_platform(platform)
{
    connect(&m_platform, &PortalPlatform::detected, this, &PortalShortcutBackend::scheduleApply);
    Portal::registerTypes();
    QDBusConnection::sessionBus().connect(
        Portal::Service, Portal::Path, Portal::GlobalShortcuts, QStringLiteral("Activated"), this,
        SLOT(activated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    QDBusConnection::sessionBus().connect(
        Portal::Service, Portal::Path, Portal::GlobalShortcuts, QStringLiteral("Deactivated"), this,
        SLOT(deactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalShortcutBackend::~PortalShortcutBackend()
{
    if (!QCoreApplication::instance())
        return;
    if (!m_session.isEmpty())
        Portal::closeSession(m_session);
    if (m_platform.hasKGlobalAccel()) {
        for (int code : std::as_const(m_sent))
            unregisterFromKGlobalAccel(idFor(code));
    }
}

QString PortalShortcutBackend::sessionToken()
{
    return QStringLiteral("keyquill");
}

bool PortalShortcutBackend::grab(int code)
{
    m_wanted.insert(code);
    m_bound.insert(code);
    scheduleApply();
    return true;
}

void PortalShortcutBackend::ungrab(int code)
{
    m_wanted.remove(code);
    m_bound.remove(code);
    scheduleApply();
}

void PortalShortcutBackend::scheduleApply()
{
    if (m_applyPending)
        return;
    m_applyPending = true;
    QMetaObject::invokeMethod(this, &PortalShortcutBackend::apply, Qt::QueuedConnection);
}

void PortalShortcutBackend::apply()
{
    m_applyPending = false;
    if (m_platform.state() == PortalPlatform::State::Asking)
        return; // the platform's answer comes back here
    if (m_platform.state() == PortalPlatform::State::Missing) {
        for (int code : std::as_const(m_wanted))
            report(code, false);
        return;
    }
    QHash<int, QString> names;
    for (int code : std::as_const(m_wanted)) {
        const QString name = m_platform.shortcutName(code);
        names.insert(
            code, !name.isEmpty()
                      ? name
                      : QCoreApplication::translate("PortalShortcutBackend", "Keyquill note on %1")
                            .arg(QKeySequence(code).toString(QKeySequence::NativeText)));
    }
    if (m_creating || (m_sent == m_wanted && m_sentNames == names))
        return; // created() comes back here when the set moved meanwhile
    if (!m_session.isEmpty())
        Portal::closeSession(std::exchange(m_session, QString()));
    releaseUnwanted();
    m_sent = m_wanted;
    m_sentNames = names;
    if (m_wanted.isEmpty())
        return;

    QList<int> codes(m_wanted.cbegin(), m_wanted.cend());
    std::sort(codes.begin(), codes.end());
    Portal::ShortcutList shortcuts;
    for (int code : std::as_const(codes)) {
        shortcuts.append({idFor(code),
                          {{QStringLiteral("description"), names.value(code)},
                           {QStringLiteral("preferred_trigger"), triggerFor(code)}}});
    }
    const QVariantMap options{{QStringLiteral("session_handle_token"), sessionToken()},
                              {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts)}};
    m_creating = true;
    PortalRequest::call(
        Portal::GlobalShortcuts, QStringLiteral("CreateSession"), {options}, this,
        [this](uint response, const QVariantMap &results) { created(response, results); });
}

void PortalShortcutBackend::created(uint response, const QVariantMap &results)
{
    m_creating = false;
    m_session = results.value(QStringLiteral("session_handle")).toString();
    const QSet<int> sent = m_sent;
    // Said before the codes are: their reason follows it.
    m_platform.setSessionRefused(response != 0);
    if (response != 0) {
        m_session.clear();
        for (int code : sent)
            report(code, false);
    } else if (m_platform.hasKGlobalAccel()) {
        // KDE answers with the preferred triggers even when another program holds one and
        // nothing was bound: ask the shortcut daemon what it really bound.
        askKGlobalAccel(QList<int>(sent.cbegin(), sent.cend()));
    } else {
        // Elsewhere the answer lists what the desktop bound.
        const auto listed = qdbus_cast<Portal::ShortcutList>(
            results.value(QStringLiteral("shortcuts")).value<QDBusArgument>());
        for (int code : sent) {
            const bool bound =
                !results.contains(QStringLiteral("shortcuts")) ||
                std::any_of(listed.cbegin(), listed.cend(),
                            [code](const Portal::Shortcut &s) { return s.id == idFor(code); });
            report(code, bound);
        }
    }
    if (m_sent != m_wanted)
        scheduleApply();
}

void PortalShortcutBackend::releaseUnwanted()
{
    if (m_platform.hasKGlobalAccel())
        releaseBindings(m_wanted, this);
}

// KDE keeps the shortcuts of a closed session, an earlier run's too (one that crashed or was
// killed), bound to the program, and they would swallow their keys in every other application.
void PortalShortcutBackend::releaseBindings(const QSet<int> &keep, QObject *context)
{
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(kglobalaccelCall(
            QStringLiteral("allActionsForComponent"), {QStringList{sessionToken()}})),
        context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [keep, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QList<QStringList>> reply = *watcher;
        if (reply.isError())
            return;
        const QList<QStringList> actions = reply.value();
        for (const QStringList &action : actions) {
            const QString id = action.value(1);
            bool ok = false;
            const int code = id.toInt(&ok);
            if (!id.isEmpty() && !(ok && keep.contains(code)))
                unregisterFromKGlobalAccel(id);
        }
    });
}

void PortalShortcutBackend::askKGlobalAccel(const QList<int> &codes)
{
    for (int code : codes) {
        const QStringList actionId{sessionToken(), idFor(code), QString(), QString()};
        auto *watcher =
            new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(kglobalaccelCall(
                                            QStringLiteral("shortcut"), {actionId})),
                                        this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, code] {
            watcher->deleteLater();
            const QDBusPendingReply<QList<int>> reply = *watcher;
            const bool bound =
                !reply.isError() && !reply.value().isEmpty() && reply.value().first() != 0;
            if (m_sent.contains(code))
                report(code, bound);
        });
    }
}

void PortalShortcutBackend::report(int code, bool bound)
{
    if (!m_wanted.contains(code))
        return;
    // grab() said true: only a change is news.
    if (bound == m_bound.contains(code))
        return;
    if (bound)
        m_bound.insert(code);
    else
        m_bound.remove(code);
    if (m_handlers.regrabbed)
        m_handlers.regrabbed(code, bound);
}

void PortalShortcutBackend::activated(const QDBusObjectPath &session, const QString &id, qulonglong,
                                      const QVariantMap &options)
{
    if (session.path() != m_session)
        return;
    // Desktops that give one let the window a press opens take the keyboard with it.
    m_platform.setActivationToken(options.value(QStringLiteral("activation_token")).toString());
    bool ok = false;
    const int code = id.toInt(&ok);
    if (ok && m_wanted.contains(code) && m_handlers.activated)
        m_handlers.activated(code);
}

void PortalShortcutBackend::deactivated(const QDBusObjectPath &session, const QString &id,
                                        qulonglong, const QVariantMap &)
{
    bool ok = false;
    const int code = id.toInt(&ok);
    if (session.path() == m_session && ok && m_handlers.released)
        m_handlers.released(code);
}
