#include "x11keymap.h"

#include <cstdlib>

void X11Keymap::load(xcb_connection_t *connection)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const xcb_get_keyboard_mapping_cookie_t keyboard = xcb_get_keyboard_mapping(
        connection, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1);
    const xcb_get_modifier_mapping_cookie_t modifiers = xcb_get_modifier_mapping(connection);
    m_minKeycode = setup->min_keycode;
    m_keysyms.clear();
    m_keysymsPerKeycode = 0;
    if (xcb_get_keyboard_mapping_reply_t *reply =
            xcb_get_keyboard_mapping_reply(connection, keyboard, nullptr)) {
        const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(reply);
        m_keysyms =
            QList<xcb_keysym_t>(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply));
        m_keysymsPerKeycode = reply->keysyms_per_keycode;
        std::free(reply);
    }
    m_modifierKeycodes.clear();
    m_keycodesPerModifier = 0;
    if (xcb_get_modifier_mapping_reply_t *reply =
            xcb_get_modifier_mapping_reply(connection, modifiers, nullptr)) {
        const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(reply);
        m_modifierKeycodes = QList<xcb_keycode_t>(
            keycodes, keycodes + xcb_get_modifier_mapping_keycodes_length(reply));
        m_keycodesPerModifier = reply->keycodes_per_modifier;
        std::free(reply);
    }
}

xcb_keycode_t X11Keymap::keycodeFor(xcb_keysym_t keysym) const
{
    if (m_keysymsPerKeycode <= 0)
        return 0;
    const int keycodes = m_keysyms.size() / m_keysymsPerKeycode;
    for (int column = 0; column < m_keysymsPerKeycode; ++column) {
        for (int row = 0; row < keycodes; ++row) {
            if (keysymAt(row, column) == keysym)
                return static_cast<xcb_keycode_t>(m_minKeycode + row);
        }
    }
    return 0;
}

QSet<xcb_keycode_t> X11Keymap::keycodesOf(xcb_keysym_t keysym) const
{
    QSet<xcb_keycode_t> keycodes;
    for (qsizetype i = 0; m_keysymsPerKeycode > 0 && i < m_keysyms.size(); ++i) {
        if (m_keysyms.at(i) == keysym)
            keycodes.insert(static_cast<xcb_keycode_t>(m_minKeycode + i / m_keysymsPerKeycode));
    }
    return keycodes;
}

QSet<xcb_keycode_t> X11Keymap::modifierKeycodes() const
{
    QSet<xcb_keycode_t> keycodes;
    for (xcb_keycode_t keycode : m_modifierKeycodes) {
        if (keycode != 0)
            keycodes.insert(keycode);
    }
    return keycodes;
}

uint16_t X11Keymap::modifierMaskFor(xcb_keysym_t keysym, uint16_t fallback) const
{
    if (m_keysymsPerKeycode <= 0 || m_keycodesPerModifier <= 0)
        return fallback;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < m_keycodesPerModifier; ++i) {
            const xcb_keycode_t keycode =
                m_modifierKeycodes.value(modifier * m_keycodesPerModifier + i);
            if (keycode < m_minKeycode)
                continue;
            for (int column = 0; column < m_keysymsPerKeycode; ++column) {
                if (keysymAt(keycode - m_minKeycode, column) == keysym)
                    return static_cast<uint16_t>(1u << modifier);
            }
        }
    }
    return fallback;
}
