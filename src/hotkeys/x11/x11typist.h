#pragma once

#include "hotkeys/keyoutput.h"

#include <cstdint>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

struct _XDisplay;
class X11LentKeys;
class X11TargetPing;

// Types a text into the focused window through XTest, a few characters per tick. A character
// of the current layout and group is typed on its own key (with Shift where that is its level);
// any other is lent a place on a spare keycode (two places to a key, the second with Shift), which
// keeps it for later characters and is given back a while after the text. The places the text
// ahead needs are lent together, in one change of the key mapping. A place is only lent anew
// once the target has handled the keys pressed under its old symbol: programs read the key
// mapping as it is when they get to a change, and would read older keys with it. A program that
// echoes pings tells when it has; for any other, a wait stands in. Caps Lock is let go of for the
// text and locked again.
class X11Typist final : public QObject
{
    Q_OBJECT

public:
    // xterm, a GTK and a Qt program took every character even unpaced; paced, the target keeps
    // up, so that RelendMs stays ample, and 20,000 characters take 40 seconds.
    static constexpr int CharactersPerSecond = 500;
    // Also the most often the key mapping changes: each change makes every program on the
    // display read all of it again.
    static constexpr int TickMs = 10;
    // Where the target does not echo pings, a place is lent another symbol no sooner than this
    // after its last press. With the 38 places of a common key map this allows some 350
    // different lent characters a second; xterm keeps up with it on a machine loaded beyond its
    // cores.
    static constexpr int RelendMs = 100;

    // Lends its keys through `lent`, which must outlive it.
    X11Typist(const QByteArray &displayName, X11LentKeys &lent, QObject *parent = nullptr);
    ~X11Typist() override;

    // One text at a time: a second one while typing is refused.
    void type(const QString &text, KeyOutput::Done done);
    void setCharactersPerSecond(int rate) { m_perSecond = rate; }

private:
    struct KeyOnLayout
    {
        uint8_t keycode;
        bool shift;
    };
    struct Place
    {
        uint8_t keycode = 0;
        bool shift = false;
        uint32_t keysym = 0; // 0 while not lent
        QElapsedTimer pressed;
        uint64_t echo = 0; // the ping sent after its last press
    };

    void readLayout();
    void typeSome();
    bool lacksKey(uint32_t keysym) const;
    // Whether the target has handled the last press of `place`, as told by the echo of the ping
    // after it or else guessed from the time.
    bool mayRelend(const Place &place, bool echoes, uint64_t answered) const;
    // The place holding `keysym`, or -1.
    qsizetype placeOf(uint32_t keysym) const;
    // Lends places to the characters ahead that lack one, as far as places may be lent anew;
    // false when none could be.
    bool lendAhead();
    void lend(const QList<qsizetype> &places);
    void press(uint8_t keycode, bool shift);
    void finish(const QString &failure);

    QByteArray m_displayName;
    X11LentKeys &m_lent;
    _XDisplay *m_display = nullptr;
    int m_perSecond = CharactersPerSecond;
    QList<uint32_t> m_keysyms;
    qsizetype m_next = 0;
    QElapsedTimer m_since;
    KeyOutput::Done m_done;
    QHash<uint32_t, KeyOnLayout> m_layout; // character -> its key in the current group
    QHash<uint32_t, KeyOnLayout> m_named;  // Return and Tab -> their keys
    uint8_t m_shift = 0;
    bool m_capsLocked = false;
    std::unique_ptr<X11TargetPing> m_ping;
    QList<Place> m_places; // those of the spare keycodes, lent or not, the key's two together
    QTimer m_tick;
};
