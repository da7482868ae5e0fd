#include "portalkeysender.h"

#include "hotkeys/portal/portalrequest.h"

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

PortalKeySender::PortalKeySender(QObject *parent) : QObject(parent) {}

void PortalKeySender::sendPaste(Done done)
{
    switch (m_state) {
    case State::Refused:
        done(tr("The desktop does not let Keyquill control the keyboard, so the text was left "
                "on the clipboard to be pasted by hand."));
        return;
    case State::Started:
        sendStroke(std::move(done));
        return;
    case State::Idle:
        start();
        break;
    case State::Starting:
        break;
    }
    m_waiting.append(std::move(done));
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
        refuse();
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
            refuse();
            return;
        }
        m_state = State::Started;
        for (Done &done : std::exchange(m_waiting, {}))
            sendStroke(std::move(done));
        break;
    }
}

void PortalKeySender::refuse()
{
    // Cancelled by the user, or refused: never asked again in this run.
    if (!m_session.isEmpty())
        Portal::closeSession(m_session);
    m_state = State::Refused;
    for (Done &done : std::exchange(m_waiting, {}))
        sendPaste(std::move(done));
}

void PortalKeySender::sendStroke(Done done)
{
    m_keys.append({ControlKeysym, true, nullptr});
    m_keys.append({VKeysym, true, nullptr});
    m_keys.append({VKeysym, false, nullptr});
    m_keys.append({ControlKeysym, false, std::move(done)});
    if (!m_keyInFlight)
        sendNextKey();
}

void PortalKeySender::sendNextKey()
{
    if (m_keys.isEmpty()) {
        m_keyInFlight = false;
        return;
    }
    m_keyInFlight = true;
    Key next = m_keys.takeFirst();
    QDBusMessage message =
        QDBusMessage::createMethodCall(Portal::Service, Portal::Path, Portal::RemoteDesktop,
                                       QStringLiteral("NotifyKeyboardKeysym"));
    message.setArguments({QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(),
                          next.keysym, uint(next.down ? 1 : 0)});
    // One event at a time: the next goes once the desktop has taken this one, and a moment
    // later, as a typist's keys would.
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, done = std::move(next.done)](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            if (done)
                done(
                    w->isError()
                        ? tr("The desktop did not take the paste key: %1").arg(w->error().message())
                        : QString());
            QTimer::singleShot(KeyGapMs, Qt::PreciseTimer, this, &PortalKeySender::sendNextKey);
        });
}

void PortalKeySender::sessionClosed()
{
    // The desktop ended the session (e.g. the user revoked it): start again on the next paste.
    m_state = State::Idle;
    m_session.clear();
    for (const Key &key : std::exchange(m_keys, {})) {
        if (key.done)
            key.done(tr("The desktop ended the keyboard session before the paste key went out."));
    }
}
