#include "portalkeysender.h"

#include "hotkeys/portal/keystrokeplan.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/typedkeys.h"

#include <xkbcommon/xkbcommon.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// Key symbols rather than key codes: the desktop finds the key on whatever layout is in use.
constexpr int ControlKeysym = 0xffe3; // Control_L
constexpr int ShiftKeysym = 0xffe1;   // Shift_L
constexpr int InsertKeysym = 0xff63;
constexpr int LeftKeysym = 0xff51; // moves the caret back to a note's {{cursor}}
constexpr uint KeyboardDevice = 1;
// Remembered until the user revokes it.
constexpr uint PersistUntilRevoked = 2;
// Between two key events of the stroke. Sent back to back, the compositor at times saw V before
// Ctrl (a plain "v" arrived) or lost the release (the target repeated "v").
constexpr int KeyGapMs = 15;
// Between the keys of a typed text, where no modifier is held.
constexpr int TypedGapMs = 2;
// Between the keys of the layout, which KWin takes as they come (one at a time still).
constexpr int LayoutKeyGapMs = 0;
// Before a dead key: time for the target to take the keys before it.
constexpr int SettleMs = 20;

const QString KWinLayouts = QStringLiteral("org.kde.keyboard");
const QString KWinLayoutsPath = QStringLiteral("/Layouts");
const QString KWinLayoutsInterface = QStringLiteral("org.kde.KeyboardLayouts");

// Whose compose sequences the programs typed into follow, as they find them.
QByteArray composeLocale()
{
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray locale = qgetenv(name);
        if (!locale.isEmpty())
            return locale;
    }
    return QByteArrayLiteral("C");
}

// The key's own symbol: a lower-case letter (Shift makes the capital), Insert or Left; 0 for
// none.
int keysymFor(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'a' + (key - Qt::Key_A);
    if (key == Qt::Key_Left)
        return LeftKeysym;
    return key == Qt::Key_Insert ? InsertKeysym : 0;
}

} // namespace

PortalKeySender::PortalKeySender(QObject *parent) : QObject(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleMs);
    connect(&m_idle, &QTimer::timeout, this, &PortalKeySender::letGo);
}

PortalKeySender::~PortalKeySender() = default;

// KWin types a key symbol only where the layout has it on a key's first two levels, and there it
// may take a key that writes another character on the first (the degree sign of a German layout
// came out as 0), and drops dead keys: it is given keys instead, found in its own keymap.
void PortalKeySender::followKWinLayouts()
{
    if (m_keymap)
        return;
    m_keymap = std::make_unique<WaylandKeymap>(this);
    // With one layout KWin offers no interface: the group is then 0. It says when it offers one.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(QString(), KWinLayoutsPath, KWinLayoutsInterface, QStringLiteral("layoutChanged"),
                this, SLOT(layoutSwitched(uint)));
    bus.connect(QString(), KWinLayoutsPath, KWinLayoutsInterface,
                QStringLiteral("layoutListChanged"), this, SLOT(askLayout()));
    askLayout();
}

void PortalKeySender::askLayout()
{
    const QDBusMessage question = QDBusMessage::createMethodCall(
        KWinLayouts, KWinLayoutsPath, KWinLayoutsInterface, QStringLiteral("getLayout"));
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        layoutSwitched(reply.isError() ? 0 : reply.value());
    });
}

void PortalKeySender::layoutSwitched(uint layout)
{
    m_layout = layout;
}

uint PortalKeySender::layoutInUse() const
{
    // A group KWin no longer has is the one of a single layout left.
    return m_layout < xkb_keymap_num_layouts(m_keymap->keymap()) ? m_layout : 0;
}

QString PortalKeySender::typingLayout() const
{
    if (!m_keymap || !m_keymap->keymap())
        return QString();
    return QString::fromUtf8(xkb_keymap_layout_get_name(m_keymap->keymap(), layoutInUse()));
}

void PortalKeySender::setToken(const QString &token)
{
    if (!m_tokenFromDesktop)
        m_token = token;
}

void PortalKeySender::sendStroke(int stroke, Done done)
{
    send({stroke, std::move(done), QString()});
}

void PortalKeySender::typeText(const QString &text, Done done)
{
    send({0, std::move(done), text});
}

void PortalKeySender::send(Pending pending)
{
    switch (m_state) {
    case State::Refused:
        pending.done(tr("The desktop does not let Keyquill control the keyboard, so the text was "
                        "left on the clipboard. Paste with Ctrl+V."));
        return;
    case State::Started:
        if (pending.stroke == 0)
            queueText(pending.text, std::move(pending.done));
        else
            queueKeys(pending.stroke, std::move(pending.done));
        return;
    case State::Idle:
        start();
        break;
    case State::Starting:
        break;
    }
    m_waiting.append(std::move(pending));
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
    case 1: {
        m_session = results.value(QStringLiteral("session_handle")).toString();
        QDBusConnection::sessionBus().connect(Portal::Service, m_session, Portal::Session,
                                              QStringLiteral("Closed"), this,
                                              SLOT(sessionClosed()));
        // Desktops that cannot remember (KDE Plasma 5.27) ignore both.
        QVariantMap options{{QStringLiteral("types"), KeyboardDevice},
                            {QStringLiteral("persist_mode"), PersistUntilRevoked}};
        if (!m_token.isEmpty())
            options.insert(QStringLiteral("restore_token"), m_token);
        PortalRequest::call(Portal::RemoteDesktop, QStringLiteral("SelectDevices"),
                            {QVariant::fromValue(QDBusObjectPath(m_session)), options}, this, next);
        break;
    }
    case 2:
        PortalRequest::call(
            Portal::RemoteDesktop, QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QString(), QVariantMap()}, this,
            next);
        break;
    default:
        started(results);
        break;
    }
}

void PortalKeySender::started(const QVariantMap &results)
{
    if (!(results.value(QStringLiteral("devices")).toUInt() & KeyboardDevice)) {
        refuse();
        return;
    }
    // A token serves once: the one given now replaces it, and none given means none is kept.
    const QString token = results.value(QStringLiteral("restore_token")).toString();
    m_tokenFromDesktop = true;
    if (token != m_token) {
        m_token = token;
        Q_EMIT tokenChanged(token);
    }
    m_state = State::Started;
    for (Pending &pending : std::exchange(m_waiting, {}))
        send(std::move(pending));
}

void PortalKeySender::refuse()
{
    // Cancelled by the user, or refused: never asked again in this run.
    if (!m_session.isEmpty())
        Portal::closeSession(m_session);
    m_state = State::Refused;
    for (Pending &pending : std::exchange(m_waiting, {}))
        send(std::move(pending));
}

void PortalKeySender::queueKeys(int stroke, Done done)
{
    const int key = keysymFor(stroke & ~Qt::KeyboardModifierMask);
    if (key == 0) {
        done(tr("The paste key cannot be sent on this desktop."));
        return;
    }
    QList<int> held;
    if (stroke & Qt::ControlModifier)
        held.append(ControlKeysym);
    if (stroke & Qt::ShiftModifier)
        held.append(ShiftKeysym);
    for (int keysym : std::as_const(held))
        m_keys.append({keysym, true, nullptr});
    m_keys.append({key, true, nullptr});
    m_keys.append({key, false, nullptr});
    for (auto it = held.crbegin(); it != held.crend(); ++it)
        m_keys.append({*it, false, nullptr});
    m_keys.last().done = std::move(done);
    m_idle.stop();
    if (!m_keyInFlight)
        sendNextKey();
}

void PortalKeySender::queueText(const QString &text, Done done)
{
    m_leftOut.clear();
    // Key symbols could come out as other characters there.
    if (m_keymap && !m_keymap->keymap()) {
        done(tr("KWin has not said which keyboard layout it uses, so the text was not typed; it "
                "is on the clipboard."));
        return;
    }
    int queued = queueLayoutKeys(text);
    if (queued < 0) {
        queued = 0;
        for (uint32_t keysym : TypedKeys::keysymsFor(text)) {
            m_keys.append({int(keysym), true, nullptr, true});
            m_keys.append({int(keysym), false, nullptr, true});
            queued += 2;
            // KWin 5.27 presses Shift for a capital and, where the layout has no key for it,
            // never lets go: every character after it would come out shifted.
            const bool plain = (keysym >= 'a' && keysym <= 'z') ||
                               (keysym >= '0' && keysym <= '9') || keysym == ' ';
            if (!plain) {
                m_keys.append({ShiftKeysym, false, nullptr, true});
                ++queued;
            }
        }
    }
    if (queued == 0) {
        done(QString()); // nothing to type, or nothing the layout can
        return;
    }
    m_keys.last().done = std::move(done);
    m_idle.stop();
    if (!m_keyInFlight)
        sendNextKey();
}

// The number of key events queued; -1 where there is no KWin keymap to find the keys in.
int PortalKeySender::queueLayoutKeys(const QString &text)
{
    xkb_keymap *keymap = m_keymap ? m_keymap->keymap() : nullptr;
    if (!keymap)
        return -1;
    const uint layout = layoutInUse();
    if (!m_plan || m_planGeneration != m_keymap->generation() || m_planLayout != layout) {
        m_plan = std::make_unique<KeystrokePlan>(keymap, layout, composeLocale());
        m_planGeneration = m_keymap->generation();
        m_planLayout = layout;
    }
    const KeystrokePlan::Result result = m_plan->plan(text);
    m_leftOut = result.leftOut;
    for (const KeystrokePlan::Key &key : result.keys)
        m_keys.append({key.code, key.down, nullptr, true, true, key.settleFirst});
    return int(result.keys.size());
}

void PortalKeySender::sendNextKey()
{
    if (m_keys.isEmpty()) {
        m_keyInFlight = false;
        if (!m_token.isEmpty())
            m_idle.start();
        return;
    }
    m_keyInFlight = true;
    Key next = m_keys.takeFirst();
    QDBusMessage message =
        QDBusMessage::createMethodCall(Portal::Service, Portal::Path, Portal::RemoteDesktop,
                                       next.keycode ? QStringLiteral("NotifyKeyboardKeycode")
                                                    : QStringLiteral("NotifyKeyboardKeysym"));
    message.setArguments({QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(),
                          next.keysym, uint(next.down ? 1 : 0)});
    // One event at a time: the next goes once the desktop has taken this one, and a moment
    // later, as a typist's keys would.
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, done = std::move(next.done),
         gap = next.keycode ? LayoutKeyGapMs
               : next.typed ? TypedGapMs
                            : KeyGapMs](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            if (done)
                done(
                    w->isError()
                        ? tr("The desktop did not take the paste key: %1").arg(w->error().message())
                        : QString());
            const bool settle = !m_keys.isEmpty() && m_keys.constFirst().settleFirst;
            QTimer::singleShot(settle ? SettleMs : gap, Qt::PreciseTimer, this,
                               &PortalKeySender::sendNextKey);
        });
}

void PortalKeySender::letGo()
{
    if (m_state != State::Started || m_keyInFlight)
        return;
    QDBusConnection::sessionBus().disconnect(Portal::Service, m_session, Portal::Session,
                                             QStringLiteral("Closed"), this, SLOT(sessionClosed()));
    Portal::closeSession(std::exchange(m_session, QString()));
    m_state = State::Idle;
}

void PortalKeySender::sessionClosed()
{
    // The desktop ended the session (e.g. the user revoked it): start again on the next paste.
    m_idle.stop();
    m_state = State::Idle;
    m_session.clear();
    for (const Key &key : std::exchange(m_keys, {})) {
        if (key.done)
            key.done(tr("The desktop ended the keyboard session before the paste key went out."));
    }
}
