#include "x11typist.h"

#include "hotkeys/typedkeys.h"
#include "hotkeys/x11/x11keysyms.h"
#include "hotkeys/x11/x11lentkeys.h"
#include "hotkeys/x11/x11targetping.h"

#include <algorithm>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

X11Typist::X11Typist(const QByteArray &displayName, X11LentKeys &lent, QObject *parent)
    : QObject(parent), m_displayName(displayName), m_lent(lent)
{
    m_tick.setInterval(TickMs);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &X11Typist::typeSome);
}

X11Typist::~X11Typist()
{
    if (m_done)
        finish(tr("Keyquill ended while typing."));
}

void X11Typist::type(const QString &text, KeyOutput::Done done)
{
    if (m_done) {
        done(tr("Another text is still being typed."));
        return;
    }
    // The keys lent before (for the last text, or a paste key) are given back first: the settle
    // and paste waits between two deliveries are far longer than a target takes to read them.
    m_lent.giveBackNow();
    m_display = XOpenDisplay(m_displayName.constData());
    if (!m_display) {
        done(tr("The X display %1 cannot be opened.").arg(QString::fromLocal8Bit(m_displayName)));
        return;
    }
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(m_display, &event, &error, &major, &minor)) {
        XCloseDisplay(m_display);
        m_display = nullptr;
        done(tr("The X server has no XTest extension, so no key can be sent."));
        return;
    }
    m_done = std::move(done);
    m_ping = std::make_unique<X11TargetPing>(m_display);
    m_keysyms = TypedKeys::keysymsFor(text);
    m_next = 0;
    readLayout();
    if (m_places.isEmpty() && std::any_of(m_keysyms.cbegin(), m_keysyms.cend(),
                                          [this](uint32_t s) { return lacksKey(s); })) {
        finish(tr("The keyboard layout lacks some of the characters, and no spare key is free to "
                  "lend them."));
        return;
    }
    // A locked Caps Lock would make capitals of the lent keys' letters.
    if (m_capsLocked)
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, 0);
    m_since.start();
    m_tick.start();
    typeSome();
}

// The characters of the current group at its first two levels, each on the first key that
// gives it without Shift, else with Shift; the modifier keys are never used.
void X11Typist::readLayout()
{
    m_layout.clear();
    m_named.clear();
    m_places.clear();
    m_shift = XKeysymToKeycode(m_display, XK_Shift_L);
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    m_capsLocked = (state.locked_mods & LockMask) != 0;
    XkbDescPtr xkb =
        XkbGetMap(m_display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
    if (!xkb)
        return;
    for (const unsigned mods : {0u, unsigned(ShiftMask)}) {
        for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
            if (xkb->map->modmap && xkb->map->modmap[keycode] != 0)
                continue;
            unsigned consumed = 0;
            KeySym keysym = NoSymbol;
            if (!XkbTranslateKeyCode(xkb, KeyCode(keycode), XkbBuildCoreState(mods, state.group),
                                     &consumed, &keysym) ||
                keysym == NoSymbol)
                continue;
            const KeyOnLayout key{uint8_t(keycode), mods != 0};
            if (keysym == TypedKeys::Return || keysym == TypedKeys::Tab)
                m_named.insert(uint32_t(keysym), key);
            else if (const uint32_t c = TypedKeys::characterOf(uint32_t(keysym)); c != 0)
                m_layout.insert(c, key); // the earlier one stays: unshifted, lower keycode
        }
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
    for (const uint8_t spare : x11SpareKeycodes(m_display)) {
        for (const bool shift : {false, true}) {
            Place place;
            place.keycode = spare;
            place.shift = shift;
            m_places.append(place);
        }
    }
}

bool X11Typist::lacksKey(uint32_t keysym) const
{
    return !m_layout.contains(TypedKeys::characterOf(keysym)) && !m_named.contains(keysym);
}

qsizetype X11Typist::placeOf(uint32_t keysym) const
{
    for (qsizetype i = 0; i < m_places.size(); ++i) {
        if (m_places.at(i).keysym == keysym)
            return i;
    }
    return -1;
}

void X11Typist::typeSome()
{
    const qsizetype due =
        std::min<qsizetype>(m_keysyms.size(), 1 + m_since.elapsed() * m_perSecond / 1000);
    bool lent = false;
    bool pressedLent = false;
    while (m_next < due) {
        const uint32_t keysym = m_keysyms.at(m_next);
        const auto onLayout = m_layout.constFind(TypedKeys::characterOf(keysym));
        const auto named = m_named.constFind(keysym);
        if (onLayout != m_layout.cend()) {
            press(onLayout->keycode, onLayout->shift);
        } else if (named != m_named.cend()) {
            press(named->keycode, named->shift);
        } else {
            qsizetype place = placeOf(keysym);
            if (place < 0 && !lent) {
                lent = true; // once a tick at most
                if (lendAhead())
                    place = placeOf(keysym);
            }
            if (place < 0)
                break; // every place was pressed too recently: on a later tick
            m_places[place].pressed.start();
            m_places[place].echo = m_ping->next();
            pressedLent = true;
            press(m_places.at(place).keycode, m_places.at(place).shift);
        }
        ++m_next;
    }
    if (pressedLent)
        m_ping->send();
    XSync(m_display, False);
    if (m_next == m_keysyms.size())
        finish(QString());
}

bool X11Typist::lendAhead()
{
    // The lent characters of the text ahead, in order, as many as there are places (within the
    // next few hundred characters of a long text); those that hold a place keep it.
    QList<uint32_t> ahead;
    QList<bool> kept(m_places.size(), false);
    const qsizetype end = std::min(m_keysyms.size(), m_next + 500);
    for (qsizetype i = m_next; i < end && ahead.size() < m_places.size(); ++i) {
        const uint32_t keysym = m_keysyms.at(i);
        if (!lacksKey(keysym) || ahead.contains(keysym))
            continue;
        ahead.append(keysym);
        if (const qsizetype place = placeOf(keysym); place >= 0)
            kept[place] = true;
    }
    // The others that may be lent anew: those never pressed first, then those pressed longest ago.
    const bool echoes = m_ping->answers();
    const uint64_t answered = m_ping->answered();
    QList<qsizetype> free;
    for (qsizetype i = 0; i < m_places.size(); ++i) {
        if (!kept.at(i) && mayRelend(m_places.at(i), echoes, answered))
            free.append(i);
    }
    std::stable_sort(free.begin(), free.end(), [this](qsizetype a, qsizetype b) {
        const QElapsedTimer &pa = m_places.at(a).pressed;
        const QElapsedTimer &pb = m_places.at(b).pressed;
        if (!pa.isValid() || !pb.isValid())
            return !pa.isValid() && pb.isValid();
        return pa.elapsed() > pb.elapsed();
    });
    QList<qsizetype> lent;
    for (const uint32_t keysym : std::as_const(ahead)) {
        if (lent.size() == free.size())
            break;
        if (placeOf(keysym) < 0) {
            const qsizetype place = free.at(lent.size());
            m_places[place].keysym = keysym;
            lent.append(place);
        }
    }
    lend(lent);
    return !lent.isEmpty();
}

bool X11Typist::mayRelend(const Place &place, bool echoes, uint64_t answered) const
{
    if (!place.pressed.isValid())
        return true;
    return echoes ? place.echo <= answered : place.pressed.elapsed() >= RelendMs;
}

// Each key of `places` gets both its places' symbols in one change.
void X11Typist::lend(const QList<qsizetype> &places)
{
    QList<X11KeyLending> lendings;
    for (const qsizetype place : places) {
        const uint8_t keycode = m_places.at(place).keycode;
        if (std::any_of(lendings.cbegin(), lendings.cend(),
                        [keycode](const X11KeyLending &l) { return l.keycode == keycode; }))
            continue;
        const qsizetype first = place - (m_places.at(place).shift ? 1 : 0);
        const uint32_t plain = m_places.at(first).keysym;
        const uint32_t shifted = m_places.at(first + 1).keysym;
        // A key whose first place was never lent still needs a symbol there; it is never pressed
        // without Shift until lent.
        lendings.append({keycode, plain != 0 ? plain : shifted, shifted, 0});
    }
    m_lent.lend(m_display, lendings);
}

void X11Typist::press(uint8_t keycode, bool shift)
{
    if (shift)
        XTestFakeKeyEvent(m_display, m_shift, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(m_display, m_shift, False, CurrentTime);
}

void X11Typist::finish(const QString &failure)
{
    m_tick.stop();
    if (m_capsLocked)
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, LockMask);
    XSync(m_display, False);
    m_ping.reset();
    XCloseDisplay(m_display);
    m_display = nullptr;
    m_lent.keepForNow();
    std::exchange(m_done, nullptr)(failure);
}
