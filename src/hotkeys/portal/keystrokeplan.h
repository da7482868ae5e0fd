#pragma once

#include <cstdint>
#include <memory>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct xkb_compose_table;
struct xkb_keymap;

// How a text is typed as key presses on the keyboard layout the compositor runs them through:
// each character on the key and level the layout has it on, with Shift and AltGr pressed around
// it; a character the layout lacks through one of its dead keys where that composes it (`^` on a
// German layout is the dead circumflex and Space). What the layout cannot type at all is left
// out: a key that writes another character is never pressed for it.
class KeystrokePlan final
{
public:
    // One key event, by its evdev code (the compositor's keymap code less 8). A dead key's first
    // event waits until the program typed into has taken the keys before it: Qt takes a
    // composed character at once but a plain key only in its next turn, and would swap them.
    struct Key
    {
        int code;
        bool down;
        bool settleFirst = false;
        bool operator==(const Key &other) const { return code == other.code && down == other.down; }
    };
    struct Result
    {
        QList<Key> keys;
        QString leftOut; // each character the layout cannot type, once, in the order met
    };

    // `layout` is the group of `keymap` in use; `composeLocale` names the compose sequences
    // the programs typed into follow (their locale: LC_ALL, LC_CTYPE or LANG). A keymap without
    // that group types nothing.
    KeystrokePlan(xkb_keymap *keymap, uint32_t layout, const QByteArray &composeLocale);
    ~KeystrokePlan();
    KeystrokePlan(const KeystrokePlan &) = delete;
    KeystrokePlan &operator=(const KeystrokePlan &) = delete;

    // Every modifier pressed for the text is let go of at its end.
    Result plan(const QString &text) const;

private:
    enum Level : uint8_t { Shift = 1, Level3 = 2 };
    struct Stroke
    {
        int keycode = 0; // the keymap's
        uint8_t levels = 0;
        uint32_t keysym = 0;
    };
    struct Typing;

    void index(xkb_keymap *keymap, uint32_t layout);
    bool composed(uint32_t character, Stroke *dead, Stroke *base) const;

    QHash<uint32_t, Stroke> m_byCharacter;
    QHash<uint32_t, Stroke> m_byKeysym; // for Return, Tab and the dead keys
    int m_shiftKey = 0;
    int m_level3Key = 0;
    std::unique_ptr<xkb_compose_table, void (*)(xkb_compose_table *)> m_compose;
};
