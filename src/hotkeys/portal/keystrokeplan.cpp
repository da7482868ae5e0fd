#include "keystrokeplan.h"

#include "hotkeys/typedkeys.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// The keymap's codes are the kernel's plus 8.
constexpr int EvdevOffset = 8;

// An accent's dead key, by the accent's combining mark and by its spacing form.
struct Accent
{
    uint32_t mark;
    uint32_t spacing;
    uint32_t dead;
};
constexpr Accent Accents[] = {
    {0x300, '`', XKB_KEY_dead_grave},       {0x301, 0xb4, XKB_KEY_dead_acute},
    {0x302, '^', XKB_KEY_dead_circumflex},  {0x303, '~', XKB_KEY_dead_tilde},
    {0x304, 0xaf, XKB_KEY_dead_macron},     {0x306, 0x2d8, XKB_KEY_dead_breve},
    {0x307, 0x2d9, XKB_KEY_dead_abovedot},  {0x308, 0xa8, XKB_KEY_dead_diaeresis},
    {0x30a, 0x2da, XKB_KEY_dead_abovering}, {0x30b, 0x2dd, XKB_KEY_dead_doubleacute},
    {0x30c, 0x2c7, XKB_KEY_dead_caron},     {0x327, 0xb8, XKB_KEY_dead_cedilla},
    {0x328, 0x2db, XKB_KEY_dead_ogonek},
};

// The key that writes `keysym` with no modifier in `layout`; `preferred` (a key's name) first,
// as a keymap may have a second key for it that no keyboard has.
int modifierKey(xkb_keymap *keymap, uint32_t layout, uint32_t keysym, const char *preferred)
{
    const auto writes = [&](xkb_keycode_t key) {
        const xkb_keysym_t *syms = nullptr;
        return xkb_keymap_key_get_syms_by_level(keymap, key, layout, 0, &syms) == 1 &&
               syms[0] == keysym;
    };
    const xkb_keycode_t named = xkb_keymap_key_by_name(keymap, preferred);
    if (named != XKB_KEYCODE_INVALID && writes(named))
        return int(named);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        if (writes(key))
            return int(key);
    }
    return 0;
}

} // namespace

// The keys pressed so far, so that a run of capitals holds Shift once.
struct KeystrokePlan::Typing
{
    const KeystrokePlan &plan;
    QList<Key> keys;
    uint8_t held = 0;

    void hold(uint8_t levels)
    {
        const auto change = [this, levels](Level level, int key) {
            if ((held & level) != (levels & level))
                keys.append({key - EvdevOffset, (levels & level) != 0});
        };
        // AltGr last down and first up, as a typist would.
        if (!(levels & Level3))
            change(Level3, plan.m_level3Key);
        change(Shift, plan.m_shiftKey);
        if (levels & Level3)
            change(Level3, plan.m_level3Key);
        held = levels;
    }
    void press(const Stroke &stroke, bool settleFirst = false)
    {
        const qsizetype first = keys.size();
        hold(stroke.levels);
        keys.append({stroke.keycode - EvdevOffset, true});
        keys.append({stroke.keycode - EvdevOffset, false});
        keys[first].settleFirst = settleFirst;
    }
};

KeystrokePlan::KeystrokePlan(xkb_keymap *keymap, uint32_t layout, const QByteArray &composeLocale)
    : m_compose(nullptr, xkb_compose_table_unref)
{
    if (!keymap || layout >= xkb_keymap_num_layouts(keymap))
        return;
    // The table keeps the context it needs.
    std::unique_ptr<xkb_context, void (*)(xkb_context *)> context(
        xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES), xkb_context_unref);
    if (context)
        m_compose.reset(xkb_compose_table_new_from_locale(
            context.get(), composeLocale.isEmpty() ? "C" : composeLocale.constData(),
            XKB_COMPOSE_COMPILE_NO_FLAGS));
    index(keymap, layout);
}

KeystrokePlan::~KeystrokePlan() = default;

// Runs every key through the keymap's own state, with each combination of Shift and AltGr held
// (the fewest first), and notes the first key and combination that writes each character: the
// compositor finds the same character when it gets the same keys.
void KeystrokePlan::index(xkb_keymap *keymap, uint32_t layout)
{
    m_shiftKey = modifierKey(keymap, layout, XKB_KEY_Shift_L, "LFSH");
    m_level3Key = modifierKey(keymap, layout, XKB_KEY_ISO_Level3_Shift, "RALT");
    for (const uint8_t levels : {0, int(Shift), int(Level3), Shift | Level3}) {
        if (((levels & Shift) && !m_shiftKey) || ((levels & Level3) && !m_level3Key))
            continue;
        std::unique_ptr<xkb_state, void (*)(xkb_state *)> state(xkb_state_new(keymap),
                                                                xkb_state_unref);
        if (!state)
            return;
        xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
        if (levels & Shift)
            xkb_state_update_key(state.get(), xkb_keycode_t(m_shiftKey), XKB_KEY_DOWN);
        if (levels & Level3)
            xkb_state_update_key(state.get(), xkb_keycode_t(m_level3Key), XKB_KEY_DOWN);
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap);
             key <= xkb_keymap_max_keycode(keymap); ++key) {
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), key);
            if (keysym == XKB_KEY_NoSymbol)
                continue;
            const Stroke stroke{int(key), levels, keysym};
            if (!m_byKeysym.contains(keysym))
                m_byKeysym.insert(keysym, stroke);
            const uint32_t character = TypedKeys::characterOf(keysym);
            if (character != 0 && !m_byCharacter.contains(character))
                m_byCharacter.insert(character, stroke);
        }
    }
}

// A character the layout lacks, as a dead key and the key after it, where the compose
// sequences make exactly that character of them.
bool KeystrokePlan::composed(uint32_t character, Stroke *dead, Stroke *base) const
{
    if (!m_compose)
        return false;
    uint32_t follower = 0;
    uint32_t deadKeysym = 0;
    const QList<uint> parts = QString::fromUcs4(reinterpret_cast<const char32_t *>(&character), 1)
                                  .normalized(QString::NormalizationForm_D)
                                  .toUcs4();
    for (const Accent &accent : Accents) {
        if (character == accent.spacing || (parts.size() == 2 && parts.at(1) == accent.mark)) {
            follower = character == accent.spacing ? ' ' : parts.at(0);
            deadKeysym = accent.dead;
            break;
        }
    }
    if (!deadKeysym || !m_byKeysym.contains(deadKeysym) || !m_byCharacter.contains(follower))
        return false;
    *dead = m_byKeysym.value(deadKeysym);
    *base = m_byCharacter.value(follower);
    std::unique_ptr<xkb_compose_state, void (*)(xkb_compose_state *)> state(
        xkb_compose_state_new(m_compose.get(), XKB_COMPOSE_STATE_NO_FLAGS),
        xkb_compose_state_unref);
    if (!state)
        return false;
    xkb_compose_state_feed(state.get(), dead->keysym);
    xkb_compose_state_feed(state.get(), base->keysym);
    if (xkb_compose_state_get_status(state.get()) != XKB_COMPOSE_COMPOSED)
        return false;
    char written[16] = {};
    xkb_compose_state_get_utf8(state.get(), written, sizeof written);
    return QString::fromUtf8(written).toUcs4() == QList<uint>{character};
}

KeystrokePlan::Result KeystrokePlan::plan(const QString &text) const
{
    Typing typing{*this, {}, 0};
    QString leftOut;
    const QList<uint> characters = text.toUcs4();
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const uint c = characters.at(i);
        uint32_t named = 0; // a line break or a tab goes as its key
        if (c == '\r' || c == '\n') {
            if (c == '\r' && characters.value(i + 1) == '\n')
                ++i;
            named = TypedKeys::Return;
        } else if (c == '\t') {
            named = TypedKeys::Tab;
        } else if (c < 0x20 || (c >= 0x7f && c < 0xa0)) {
            continue; // nobody's to type
        }
        Stroke dead;
        Stroke base;
        if (named && m_byKeysym.contains(named)) {
            typing.press(m_byKeysym.value(named));
        } else if (!named && m_byCharacter.contains(c)) {
            typing.press(m_byCharacter.value(c));
        } else if (!named && composed(c, &dead, &base)) {
            typing.press(dead, true);
            typing.press(base);
        } else {
            const QString missing = QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
            if (!leftOut.contains(missing))
                leftOut += missing;
        }
    }
    typing.hold(0);
    return {typing.keys, leftOut};
}
