#include "x11shortcutbackend.h"

#include "hotkeys/x11/x11keysyms.h"

#include <cstdlib>
#include <QByteArray>
#include <QCoreApplication>
#include <QSet>
#include <utility>

#include <X11/keysym.h>

namespace {

constexpr uint16_t CoreModifiers = 0xff;

} // namespace

X11ShortcutBackend::X11ShortcutBackend(xcb_connection_t *connection, xcb_window_t root,
                                       Handlers handlers)
    : m_connection(connection), m_root(root), m_handlers(std::move(handlers))
{
    // Qt speaks XKB on this connection, so a layout switch may arrive as an XKB event rather
    // than a core MappingNotify.
    static const char xkbName[] = "XKEYBOARD";
    const xcb_query_extension_cookie_t cookie =
        xcb_query_extension(m_connection, sizeof(xkbName) - 1, xkbName);
    if (xcb_query_extension_reply_t *reply =
            xcb_query_extension_reply(m_connection, cookie, nullptr)) {
        if (reply->present)
            m_xkbEventBase = reply->first_event;
        std::free(reply);
    }
    loadMapping();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ShortcutBackend::~X11ShortcutBackend()
{
    // Without the application, Qt's connection is gone and so are the grabs.
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    app->removeNativeEventFilter(this);
    for (const Grab &grab : std::as_const(m_grabs)) {
        if (grab.held)
            m_releases.append(grab);
    }
    m_grabs.clear();
    flush();
}

void X11ShortcutBackend::loadMapping()
{
    m_keymap.load(m_connection);
    m_numLockMask = m_keymap.modifierMaskFor(XK_Num_Lock, 0);
    m_altMask =
        m_keymap.modifierMaskFor(XK_Alt_L, m_keymap.modifierMaskFor(XK_Alt_R, XCB_MOD_MASK_1));
    m_metaMask =
        m_keymap.modifierMaskFor(XK_Super_L, m_keymap.modifierMaskFor(XK_Super_R, XCB_MOD_MASK_4));
}

X11ShortcutBackend::Grab X11ShortcutBackend::resolve(int code) const
{
    Grab grab;
    const int key = code & ~Qt::KeyboardModifierMask;
    const int modifiers = code & Qt::KeyboardModifierMask;
    if (modifiers & Qt::KeypadModifier)
        return grab;
    const xcb_keysym_t keysym = x11KeysymForQtKey(key);
    if (keysym == 0)
        return grab;
    grab.keycode = m_keymap.keycodeFor(keysym);
    if (modifiers & Qt::ShiftModifier)
        grab.modifiers |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        grab.modifiers |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        grab.modifiers |= m_altMask;
    if (modifiers & Qt::MetaModifier)
        grab.modifiers |= m_metaMask;
    return grab;
}

QList<uint16_t> X11ShortcutBackend::lockVariants() const
{
    // The grab must hold whether NumLock and CapsLock are on or off.
    QList<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (m_numLockMask != 0 && m_numLockMask != XCB_MOD_MASK_LOCK) {
        variants.append(m_numLockMask);
        variants.append(static_cast<uint16_t>(m_numLockMask | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

QList<bool> X11ShortcutBackend::grabOnServer(const QList<Grab> &grabs)
{
    const QList<uint16_t> variants = lockVariants();
    QList<xcb_void_cookie_t> cookies;
    cookies.reserve(grabs.size() * variants.size());
    for (const Grab &grab : grabs) {
        // Checked requests: a combination another client holds answers BadAccess here instead
        // of landing in Qt's error log.
        for (uint16_t variant : variants) {
            cookies.append(xcb_grab_key_checked(
                m_connection, 1, m_root, static_cast<uint16_t>(grab.modifiers | variant),
                grab.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    QList<bool> held;
    held.reserve(grabs.size());
    qsizetype cookie = 0;
    for (const Grab &grab : grabs) {
        bool all = true;
        for (qsizetype k = 0; k < variants.size(); ++k, ++cookie) {
            if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookies.at(cookie))) {
                all = false;
                std::free(error);
            }
        }
        // Half a grab would fire with NumLock off and not on: release what we got. Ungrabbing
        // touches only this client's grabs, never the other client's.
        if (!all)
            ungrabOnServer(grab);
        held.append(all);
    }
    xcb_flush(m_connection);
    return held;
}

void X11ShortcutBackend::ungrabOnServer(const Grab &grab)
{
    const QList<uint16_t> variants = lockVariants();
    for (uint16_t variant : variants) {
        xcb_ungrab_key(m_connection, grab.keycode, m_root,
                       static_cast<uint16_t>(grab.modifiers | variant));
    }
}

void X11ShortcutBackend::flush()
{
    if (!m_releases.isEmpty()) {
        // The server scans its whole list of grabs for every request: a key none of our grabs
        // keeps is let go of in one request for all its modifiers, not four per combination.
        QSet<xcb_keycode_t> kept;
        for (const Grab &grab : std::as_const(m_grabs))
            kept.insert(grab.keycode);
        QSet<xcb_keycode_t> whole;
        for (const Grab &grab : std::as_const(m_releases)) {
            if (kept.contains(grab.keycode))
                ungrabOnServer(grab);
            else
                whole.insert(grab.keycode);
        }
        for (xcb_keycode_t keycode : std::as_const(whole))
            xcb_ungrab_key(m_connection, keycode, m_root, XCB_MOD_MASK_ANY);
        m_releases.clear();
    }
    xcb_flush(m_connection);
}

void X11ShortcutBackend::rebuildPhysicalIndex()
{
    m_byPhysical.clear();
    for (auto it = m_grabs.cbegin(); it != m_grabs.cend(); ++it) {
        if (it->held)
            m_byPhysical.insert(physicalKey(it->keycode, it->modifiers), it.key());
    }
}

bool X11ShortcutBackend::grab(int code)
{
    return grabMany({code}).value(0, false);
}

QList<bool> X11ShortcutBackend::grabMany(const QList<int> &codes)
{
    flush(); // a release sent after the grab would undo it
    QList<bool> grabbed(codes.size(), false);
    QList<qsizetype> sent;
    QList<Grab> grabs;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const Grab grab = resolve(codes.at(i));
        if (grab.keycode == 0)
            continue;
        // Two Qt codes on one physical combination (a key with two keysyms): the server would
        // merge them, so the later one is refused rather than share a grab it could not release.
        const quint32 physical = physicalKey(grab.keycode, grab.modifiers);
        if (m_byPhysical.value(physical, codes.at(i)) != codes.at(i))
            continue;
        m_byPhysical.insert(physical, codes.at(i));
        sent.append(i);
        grabs.append(grab);
    }
    // Every request is out before the first answer is awaited: one round trip for all of them.
    const QList<bool> held = grabOnServer(grabs);
    for (qsizetype k = 0; k < sent.size(); ++k) {
        Grab grab = grabs.at(k);
        if (held.at(k)) {
            grab.held = true;
            m_grabs.insert(codes.at(sent.at(k)), grab);
        } else {
            m_byPhysical.remove(physicalKey(grab.keycode, grab.modifiers));
        }
        grabbed[sent.at(k)] = held.at(k);
    }
    return grabbed;
}

void X11ShortcutBackend::retryRefused(const QList<int> &codes)
{
    QList<int> again;
    for (int code : codes) {
        // A grab a mapping change lost is tried afresh, like one never had.
        const auto it = m_grabs.constFind(code);
        if (it != m_grabs.cend() && it->held)
            continue;
        m_grabs.remove(code);
        again.append(code);
    }
    const QList<bool> grabbed = grabMany(again);
    for (qsizetype i = 0; i < again.size(); ++i) {
        if (grabbed.at(i) && m_handlers.regrabbed)
            m_handlers.regrabbed(again.at(i), true);
    }
}

void X11ShortcutBackend::ungrab(int code)
{
    const auto it = m_grabs.find(code);
    if (it == m_grabs.end())
        return;
    if (it->held && QCoreApplication::instance())
        m_releases.append(*it);
    const quint32 physical = physicalKey(it->keycode, it->modifiers);
    if (m_byPhysical.value(physical) == code)
        m_byPhysical.remove(physical);
    m_grabs.erase(it);
}

void X11ShortcutBackend::suspendPasteGrabs(int stroke)
{
    // Compared as the server sees it, so any hot key that lands on the same key and modifiers
    // is let go too. A key the layout lacks is lent to a spare keycode no grab is on.
    const Grab paste = resolve(stroke);
    if (paste.keycode == 0)
        return;
    suspendWhere([paste](const Grab &grab) {
        return grab.keycode == paste.keycode && grab.modifiers == paste.modifiers;
    });
}

void X11ShortcutBackend::suspendTypingGrabs()
{
    const uint16_t chord = XCB_MOD_MASK_CONTROL | m_altMask;
    suspendWhere([chord](const Grab &grab) { return (grab.modifiers & chord) == 0; });
}

void X11ShortcutBackend::suspendWhere(const std::function<bool(const Grab &)> &triggered)
{
    for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it) {
        if (it->held && triggered(*it)) {
            ungrabOnServer(*it);
            it->held = false;
            m_suspended.append(it.key());
        }
    }
    if (m_suspended.isEmpty())
        return;
    // The key stroke comes from another connection: the server must have released the grab
    // before it sees the first key of it.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

void X11ShortcutBackend::resumePasteGrabs()
{
    flush();
    const QList<int> suspended = std::exchange(m_suspended, {});
    for (int code : suspended) {
        const auto it = m_grabs.find(code);
        if (it == m_grabs.end())
            continue;
        // Another client may have taken the combination meanwhile; the next mapping change
        // tries again, as for a grab a mapping change lost.
        it->held = grabOnServer({*it}).value(0);
        if (!it->held && m_handlers.regrabbed)
            m_handlers.regrabbed(code, false);
    }
}

void X11ShortcutBackend::mappingChanged()
{
    // Release with the old keycodes and lock masks before they are forgotten.
    flush();
    const QHash<int, Grab> old = m_grabs;
    const QList<uint16_t> oldVariants = lockVariants();
    loadMapping();
    const bool locksMoved = lockVariants() != oldVariants;

    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        const Grab now = resolve(it.key());
        if (!locksMoved && it->held && now.keycode == it->keycode && now.modifiers == it->modifiers)
            continue;
        if (it->held) {
            for (uint16_t variant : oldVariants) {
                xcb_ungrab_key(m_connection, it->keycode, m_root,
                               static_cast<uint16_t>(it->modifiers | variant));
            }
        }
        m_grabs[it.key()].held = false;
    }
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        Grab &grab = m_grabs[it.key()];
        if (grab.held)
            continue;
        const Grab now = resolve(it.key());
        grab = now;
        grab.held = now.keycode != 0 && grabOnServer({now}).value(0);
        if (grab.held != it->held && m_handlers.regrabbed)
            m_handlers.regrabbed(it.key(), grab.held);
    }
    rebuildPhysicalIndex();
    xcb_flush(m_connection);
}

bool X11ShortcutBackend::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & 0x7f;

    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
        // A held key repeats as presses without releases, or, for a client that did not ask
        // for detectable auto-repeat (Qt does not), as a release and a press with one
        // timestamp. While a grab is active, every key event comes to this connection, on the
        // root window or on one of Qt's, so the key event before a repeat is always seen.
        const bool repeat = type == XCB_KEY_PRESS && key->detail == m_lastKeycode &&
                            (m_lastKeyType == XCB_KEY_PRESS || key->time == m_lastKeyTime);
        m_lastKeyType = type;
        m_lastKeycode = key->detail;
        m_lastKeyTime = key->time;
        if (key->event != m_root)
            return false;
        const uint16_t modifiers =
            key->state & CoreModifiers & ~(m_numLockMask | XCB_MOD_MASK_LOCK);
        const auto found = m_byPhysical.constFind(physicalKey(key->detail, modifiers));
        if (found == m_byPhysical.cend() || !m_grabs.value(*found).held)
            return false;
        if (type == XCB_KEY_PRESS && !repeat && m_handlers.activated)
            m_handlers.activated(*found);
        return true;
    }
    if (type == XCB_MAPPING_NOTIFY) {
        const auto *mapping = reinterpret_cast<xcb_mapping_notify_event_t *>(event);
        if (mapping->request != XCB_MAPPING_POINTER)
            mappingChanged();
        return false;
    }
    if (m_xkbEventBase != 0 && type == m_xkbEventBase) {
        // The second byte of every XKB event is its kind: 0 new keyboard, 1 map change.
        const uint8_t xkbType = event->pad0;
        if (xkbType == 0 || xkbType == 1)
            mappingChanged();
    }
    return false;
}
