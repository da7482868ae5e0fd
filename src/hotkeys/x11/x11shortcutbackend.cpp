// Hot keys on X11: passive key grabs on the root window through Qt's own xcb connection, and a
// native event filter that turns the grabbed presses into activations.
#include "hotkeys/x11/x11backends.h"
#include "hotkeys/x11/x11keysyms.h"

#include <cstdlib>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QList>
#include <QSet>
#include <utility>

#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace {

constexpr uint16_t CoreModifiers = 0xff;

class X11ShortcutBackend final : public ShortcutBackend, public QAbstractNativeEventFilter
{
public:
    X11ShortcutBackend(xcb_connection_t *connection, xcb_window_t root, Handlers handlers);
    ~X11ShortcutBackend() override;

    bool grab(int code) override;
    QList<bool> grabMany(const QList<int> &codes) override;
    void ungrab(int code) override;
    void flush() override;
    void suspendPasteGrabs(int stroke) override;
    void resumePasteGrabs() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    // One combination as the server sees it.
    struct Grab
    {
        xcb_keycode_t keycode = 0;
        uint16_t modifiers = 0;
        bool held = false;
    };

    void loadKeyboardMapping();
    void loadModifierMapping();
    void mappingChanged();
    Grab resolve(int code) const;
    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) const;
    uint16_t modifierMaskFor(xcb_keysym_t keysym, uint16_t fallback) const;
    QList<uint16_t> lockVariants() const;
    static quint32 physicalKey(xcb_keycode_t keycode, uint16_t modifiers)
    {
        return (quint32(keycode) << 16) | modifiers;
    }
    void rebuildPhysicalIndex();
    bool grabOnServer(const Grab &grab);
    void ungrabOnServer(const Grab &grab);

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    Handlers m_handlers;
    uint8_t m_xkbEventBase = 0;

    xcb_keycode_t m_minKeycode = 0;
    int m_keysymsPerKeycode = 0;
    QList<xcb_keysym_t> m_keysyms;           // the server's keyboard mapping, row by keycode
    QList<xcb_keycode_t> m_modifierKeycodes; // eight rows, Shift to Mod5
    int m_keycodesPerModifier = 0;
    uint16_t m_numLockMask = 0;
    uint16_t m_altMask = XCB_MOD_MASK_1;
    uint16_t m_metaMask = XCB_MOD_MASK_4;

    QList<Grab> m_releases;           // let go of, not yet sent (see flush())
    QHash<int, Grab> m_grabs;         // by Qt code
    QHash<quint32, int> m_byPhysical; // held grabs by keycode and modifiers: the Qt code
    QList<int> m_suspended;           // codes let go of while the paste key stroke is sent

    // The key event this connection saw last, on any window: tells an auto-repeat from a press.
    uint8_t m_lastKeyType = 0;
    xcb_keycode_t m_lastKeycode = 0;
    xcb_timestamp_t m_lastKeyTime = 0;
};

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
    loadKeyboardMapping();
    loadModifierMapping();
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

void X11ShortcutBackend::loadKeyboardMapping()
{
    m_keysyms.clear();
    m_keysymsPerKeycode = 0;
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    m_minKeycode = setup->min_keycode;
    const xcb_get_keyboard_mapping_cookie_t cookie = xcb_get_keyboard_mapping(
        m_connection, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t *reply =
        xcb_get_keyboard_mapping_reply(m_connection, cookie, nullptr);
    if (!reply)
        return;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    const int count = xcb_get_keyboard_mapping_keysyms_length(reply);
    m_keysyms = QList<xcb_keysym_t>(keysyms, keysyms + count);
    m_keysymsPerKeycode = reply->keysyms_per_keycode;
    std::free(reply);
}

void X11ShortcutBackend::loadModifierMapping()
{
    m_modifierKeycodes.clear();
    m_keycodesPerModifier = 0;
    const xcb_get_modifier_mapping_cookie_t cookie = xcb_get_modifier_mapping(m_connection);
    if (xcb_get_modifier_mapping_reply_t *reply =
            xcb_get_modifier_mapping_reply(m_connection, cookie, nullptr)) {
        const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(reply);
        const int count = xcb_get_modifier_mapping_keycodes_length(reply);
        m_modifierKeycodes = QList<xcb_keycode_t>(keycodes, keycodes + count);
        m_keycodesPerModifier = reply->keycodes_per_modifier;
        std::free(reply);
    }
    m_numLockMask = modifierMaskFor(XK_Num_Lock, 0);
    m_altMask = modifierMaskFor(XK_Alt_L, modifierMaskFor(XK_Alt_R, XCB_MOD_MASK_1));
    m_metaMask = modifierMaskFor(XK_Super_L, modifierMaskFor(XK_Super_R, XCB_MOD_MASK_4));
}

xcb_keycode_t X11ShortcutBackend::keycodeFor(xcb_keysym_t keysym) const
{
    if (m_keysymsPerKeycode <= 0)
        return 0;
    const int keycodes = m_keysyms.size() / m_keysymsPerKeycode;
    // A key that gives the keysym unshifted wins over one that needs a level.
    for (int column = 0; column < m_keysymsPerKeycode; ++column) {
        for (int row = 0; row < keycodes; ++row) {
            if (m_keysyms.at(row * m_keysymsPerKeycode + column) == keysym)
                return static_cast<xcb_keycode_t>(m_minKeycode + row);
        }
    }
    return 0;
}

uint16_t X11ShortcutBackend::modifierMaskFor(xcb_keysym_t keysym, uint16_t fallback) const
{
    if (m_keysymsPerKeycode <= 0 || m_keycodesPerModifier <= 0)
        return fallback;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < m_keycodesPerModifier; ++i) {
            const xcb_keycode_t keycode =
                m_modifierKeycodes.value(modifier * m_keycodesPerModifier + i);
            if (keycode < m_minKeycode)
                continue;
            const int row = keycode - m_minKeycode;
            for (int column = 0; column < m_keysymsPerKeycode; ++column) {
                if (m_keysyms.value(row * m_keysymsPerKeycode + column) == keysym)
                    return static_cast<uint16_t>(1u << modifier);
            }
        }
    }
    return fallback;
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
    grab.keycode = keycodeFor(keysym);
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

bool X11ShortcutBackend::grabOnServer(const Grab &grab)
{
    const QList<uint16_t> variants = lockVariants();
    QList<xcb_void_cookie_t> cookies;
    for (uint16_t variant : variants) {
        cookies.append(xcb_grab_key_checked(
            m_connection, 1, m_root, static_cast<uint16_t>(grab.modifiers | variant), grab.keycode,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    // Checked requests: a combination another client holds answers BadAccess here instead of
    // landing in Qt's error log. The first check waits for the server; the rest are answered.
    bool grabbed = true;
    for (const xcb_void_cookie_t &cookie : std::as_const(cookies)) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            grabbed = false;
            std::free(error);
        }
    }
    // Half a grab would fire with NumLock off and not on: release what we got. Ungrabbing
    // touches only this client's grabs, never the other client's.
    if (!grabbed) {
        ungrabOnServer(grab);
        xcb_flush(m_connection);
    }
    return grabbed;
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
    struct Sent
    {
        qsizetype index;
        Grab grab;
    };
    QList<Sent> sent;
    sent.reserve(codes.size());
    QList<xcb_void_cookie_t> cookies;
    const QList<uint16_t> variants = lockVariants();
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
        sent.append({i, grab});
        // Checked requests: a combination another client holds answers BadAccess here instead
        // of landing in Qt's error log.
        for (uint16_t variant : variants) {
            cookies.append(xcb_grab_key_checked(
                m_connection, 1, m_root, static_cast<uint16_t>(grab.modifiers | variant),
                grab.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    // Every request is out before the first answer is awaited: one round trip for all of them.
    qsizetype cookie = 0;
    for (const Sent &request : std::as_const(sent)) {
        bool held = true;
        for (qsizetype k = 0; k < variants.size(); ++k, ++cookie) {
            if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookies.at(cookie))) {
                held = false;
                std::free(error);
            }
        }
        const int code = codes.at(request.index);
        if (held) {
            Grab grab = request.grab;
            grab.held = true;
            m_grabs.insert(code, grab);
        } else {
            // Half a grab would fire with NumLock off and not on: release what we got.
            // Ungrabbing touches only this client's grabs, never the other client's.
            ungrabOnServer(request.grab);
            m_byPhysical.remove(physicalKey(request.grab.keycode, request.grab.modifiers));
        }
        grabbed[request.index] = held;
    }
    xcb_flush(m_connection);
    return grabbed;
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
    for (auto it = m_grabs.begin(); it != m_grabs.end(); ++it) {
        if (it->held && it->keycode == paste.keycode && it->modifiers == paste.modifiers) {
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
        it->held = grabOnServer(*it);
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
    loadKeyboardMapping();
    loadModifierMapping();
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
        grab.held = now.keycode != 0 && grabOnServer(now);
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

} // namespace

std::unique_ptr<ShortcutBackend> createX11ShortcutBackend(ShortcutBackend::Handlers handlers)
{
    // Offscreen or Wayland sessions have no X connection: behave like the fallback.
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display())
        return nullptr;
    return std::make_unique<X11ShortcutBackend>(
        x11->connection(), DefaultRootWindow(x11->display()), std::move(handlers));
}
