#pragma once

#include "hotkeys/hotkeyplatform.h"

#include <cstdint>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

struct _XDisplay;

// Types a text into the focused window through XTest, a few characters per tick. A character
// of the current layout and group is typed on its own key (with Shift where that is its level);
// any other is lent a spare keycode (two characters to a key, the second with Shift), which keeps
// it for later characters and is given back a while after the text. A key lent before is only
// lent anew once the target has long had the key events made under its old symbols: programs
// read a new key mapping when they get to it, and would read the older keys with it. (Lending a
// key its second symbol leaves its first as it was, so that needs no wait.) Caps Lock is let go of
// for the text and locked again.
class X11Typist final : public QObject
{
    Q_OBJECT

public:
    // xterm, a GTK and a Qt program took every character even unpaced; paced, the target keeps
    // up, so that RelendMs stays ample, and 20,000 characters take 40 seconds.
    static constexpr int CharactersPerSecond = 500;
    static constexpr int TickMs = 10;
    // A spare key is lent another symbol no sooner than this after its last press.
    static constexpr int RelendMs = 250;
    static constexpr int GiveBackMs = 1500;
    // Each lending makes every program on the display read the whole key mapping again: a burst
    // of them puts the target behind by more than RelendMs.
    static constexpr int LendsPerTick = 2;

    explicit X11Typist(const QByteArray &displayName, QObject *parent = nullptr);
    ~X11Typist() override;

    // One text at a time: a second one while typing is refused.
    void type(const QString &text, HotKeyPlatform::StrokeDone done);
    void setCharactersPerSecond(int rate) { m_perSecond = rate; }

private:
    struct KeyOnLayout
    {
        uint8_t keycode;
        bool shift;
    };
    struct Lent
    {
        uint8_t keycode = 0;
        uint32_t keysyms[2] = {0, 0}; // without and with Shift; 0 for none
        QElapsedTimer pressed;
    };

    void readLayout();
    void typeSome();
    // The key for `keysym` where the layout has none, lent now if need be (counted in `lends`)
    // and `mayLend`; keycode 0 when no key may be lent yet.
    KeyOnLayout lentKey(uint32_t keysym, bool mayLend, int *lends);
    void press(uint8_t keycode, bool shift);
    void finish(const QString &failure);
    void giveBack();

    QByteArray m_displayName;
    _XDisplay *m_display = nullptr;
    int m_perSecond = CharactersPerSecond;
    QList<uint32_t> m_keysyms;
    qsizetype m_next = 0;
    QElapsedTimer m_since;
    HotKeyPlatform::StrokeDone m_done;
    QHash<uint32_t, KeyOnLayout> m_layout; // character -> its key in the current group
    QHash<uint32_t, KeyOnLayout> m_named;  // Return and Tab -> their keys
    uint8_t m_shift = 0;
    bool m_capsLocked = false;
    QList<Lent> m_lent; // the spare keycodes, lent or not
    QTimer m_tick;
    QTimer m_giveBack;
};
