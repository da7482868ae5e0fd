// Which keys are down, from the X server's key map (the physical state, whatever grabs exist).
#include "hotkeys/x11/x11backends.h"
#include "hotkeys/x11/x11keysyms.h"

#include <cstdlib>
#include <QGuiApplication>
#include <QSet>

#include <xcb/xcb.h>

namespace {

// Every keycode that carries one of the eight modifiers: Shift, Lock, Control, Mod1 to Mod5
// (Alt, Meta, Super, Hyper and AltGr are among the last five on any layout).
QSet<xcb_keycode_t> modifierKeycodes(xcb_connection_t *connection)
{
    QSet<xcb_keycode_t> keycodes;
    xcb_get_modifier_mapping_reply_t *reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (!reply)
        return keycodes;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int count = xcb_get_modifier_mapping_keycodes_length(reply);
    for (int i = 0; i < count; ++i) {
        if (codes[i] != 0)
            keycodes.insert(codes[i]);
    }
    std::free(reply);
    return keycodes;
}

// Every keycode that gives `keysym` in some group or level.
QSet<xcb_keycode_t> keycodesOf(xcb_connection_t *connection, uint32_t keysym)
{
    QSet<xcb_keycode_t> keycodes;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    xcb_get_keyboard_mapping_reply_t *reply = xcb_get_keyboard_mapping_reply(
        connection,
        xcb_get_keyboard_mapping(connection, setup->min_keycode,
                                 setup->max_keycode - setup->min_keycode + 1),
        nullptr);
    if (!reply)
        return keycodes;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    const int count = xcb_get_keyboard_mapping_keysyms_length(reply);
    const int perKeycode = reply->keysyms_per_keycode;
    for (int i = 0; perKeycode > 0 && i < count; ++i) {
        if (keysyms[i] == keysym)
            keycodes.insert(static_cast<xcb_keycode_t>(setup->min_keycode + i / perKeycode));
    }
    std::free(reply);
    return keycodes;
}

} // namespace

bool x11KeysFree(int code)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return true;
    QSet<xcb_keycode_t> watched = modifierKeycodes(connection);
    const uint32_t keysym = x11KeysymForQtKey(code & ~Qt::KeyboardModifierMask);
    if (keysym != 0)
        watched.unite(keycodesOf(connection, keysym));

    xcb_query_keymap_reply_t *keymap =
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    if (!keymap)
        return true;
    bool free = true;
    for (xcb_keycode_t keycode : std::as_const(watched)) {
        if (keymap->keys[keycode / 8] & (1u << (keycode % 8)))
            free = false;
    }
    std::free(keymap);
    return free;
}
