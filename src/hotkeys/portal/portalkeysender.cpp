#include "portalkeysender.h"

#include "hotkeys/portal/portalrequest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace {

// Key symbols rather than key codes: the desktop finds V on whatever layout is in use.
constexpr int ControlKeysym = 0xffe3; // Control_L
constexpr int VKeysym = 0x0076;       // v
constexpr uint KeyboardDevice = 1;
// Between two key events of the stroke. Sent back to back, the compositor at times saw V before
// Ctrl (a plain "v" arrived) or lost the release (the target repeated "v").
constexpr int KeyGapMs = 15;

} // namespace

PortalKeySender::PortalKeySender(QObject *parent) : QObject(parent)
{
    Portal::registerTypes();
}

PortalKeySender *PortalKeySender::forApplication()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    if (auto *sender = app->findChild<PortalKeySender *>(QString(), Qt::FindDirectChildrenOnly))
        return sender;
    return new PortalKeySender(app);
}

bool PortalKeySender::sendPaste()
{
    switch (m_state) {
    case State::Refused:
        return false;
    case State::Started:
        sendStroke();
        return true;
    case State::Idle:
        start();
        break;
    case State::Starting:
        break;
    }
    ++m_waiting;
    return true;
}

void PortalKeySender::start()
{
    m_state = State::Starting;
    m_step = 0;
    PortalRequest::call(
        Portal::RemoteDesktop, QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("session_handle_token"), QStringLiteral("keyquillpaste")}}},
        this, [this](uint response, const QVariantMap &results) { step(response, results); });
}

// CreateSession, then SelectDevices (the keyboard), then Start.
void PortalKeySender::step(uint response, const QVariantMap &results)
{
    if (response != 0) {
        // Cancelled by the user, or refused: never ask again in this run.
        if (!m_session.isEmpty())
            Portal::closeSession(m_session);
        m_state = State::Refused;
        m_waiting = 0;
        return;
    }
    auto next = [this](uint r, const QVariantMap &res) { step(r, res); };
    switch (++m_step) {
    case 1:
        m_session = results.value(QStringLiteral("session_handle")).toString();
        QDBusConnection::sessionBus().connect(Portal::Service, m_session, Portal::Session,
                                              QStringLiteral("Closed"), this,
                                              SLOT(sessionClosed()));
        PortalRequest::call(Portal::RemoteDesktop, QStringLiteral("SelectDevices"),
                            {QVariant::fromValue(QDBusObjectPath(m_session)),
                             QVariantMap{{QStringLiteral("types"), KeyboardDevice}}},
                            this, next);
        break;
    case 2:
        PortalRequest::call(
            Portal::RemoteDesktop, QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QString(), QVariantMap()}, this,
            next);
        break;
    default:
        if (!(results.value(QStringLiteral("devices")).toUInt() & KeyboardDevice)) {
            step(2, {});
            return;
        }
        m_state = State::Started;
        for (; m_waiting > 0; --m_waiting)
            sendStroke();
        break;
    }
}

void PortalKeySender::sendStroke()
{
    m_keys << qMakePair(ControlKeysym, true) << qMakePair(VKeysym, true)
           << qMakePair(VKeysym, false) << qMakePair(ControlKeysym, false);
    if (!m_keyInFlight)
        sendNextKey();
}

void PortalKeySender::sendNextKey()
{
    if (m_keys.isEmpty() || m_session.isEmpty()) {
        m_keyInFlight = false;
        return;
    }
    m_keyInFlight = true;
    const QPair<int, bool> next = m_keys.takeFirst();
    QDBusMessage message =
        QDBusMessage::createMethodCall(Portal::Service, Portal::Path, Portal::RemoteDesktop,
                                       QStringLiteral("NotifyKeyboardKeysym"));
    message.setArguments({QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(),
                          next.first, uint(next.second ? 1 : 0)});
    // One event at a time: the next goes once the desktop has taken this one, and a moment
    // later, as a typist's keys would.
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QTimer::singleShot(KeyGapMs, Qt::PreciseTimer, this, &PortalKeySender::sendNextKey);
    });
}

void PortalKeySender::sessionClosed()
{
    // The desktop ended the session (e.g. the user revoked it): start again on the next paste.
    m_state = State::Idle;
    m_session.clear();
    m_keys.clear();
}
