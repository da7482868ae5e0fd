#include "x11typist.h"

#include "hotkeys/typedkeys.h"
#include "hotkeys/x11/x11keysyms.h"

#include <algorithm>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

X11Typist::X11Typist(const QByteArray &displayName, QObject *parent)
    : QObject(parent), m_displayName(displayName)
{
    m_tick.setInterval(TickMs);
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &X11Typist::typeSome);
    m_giveBack.setSingleShot(true);
    m_giveBack.setInterval(GiveBackMs);
    connect(&m_giveBack, &QTimer::timeout, this, &X11Typist::giveBack);
}

X11Typist::~X11Typist()
{
    if (m_done)
        finish(tr("Keyquill ended while typing."));
    if (m_giveBack.isActive())
        giveBack();
}

void X11Typist::type(const QString &text, HotKeyPlatform::StrokeDone done)
{
    if (m_done) {
        done(tr("Another text is still being typed."));
        return;
    }
    // The keys of the last text are given back first: the settle and paste waits between two
    // deliveries are far longer than a target takes to read them.
    if (m_giveBack.isActive()) {
        m_giveBack.stop();
        giveBack();
    }
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
    m_keysyms = TypedKeys::keysymsFor(text);
    m_next = 0;
    readLayout();
    const bool lacksKeys = std::any_of(m_keysyms.cbegin(), m_keysyms.cend(), [this](uint32_t s) {
        return !m_layout.contains(TypedKeys::characterOf(s)) && !m_named.contains(s);
    });
    if (lacksKeys && m_lent.isEmpty()) {
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
    m_lent.clear();
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
        Lent lent;
        lent.keycode = spare;
        m_lent.append(lent);
    }
}

void X11Typist::typeSome()
{
    const qsizetype due =
        std::min<qsizetype>(m_keysyms.size(), 1 + m_since.elapsed() * m_perSecond / 1000);
    int lends = 0;
    while (m_next < due) {
        const uint32_t keysym = m_keysyms.at(m_next);
        const auto onLayout = m_layout.constFind(TypedKeys::characterOf(keysym));
        const auto named = m_named.constFind(keysym);
        if (onLayout != m_layout.cend()) {
            press(onLayout->keycode, onLayout->shift);
        } else if (named != m_named.cend()) {
            press(named->keycode, named->shift);
        } else if (const KeyOnLayout lent = lentKey(keysym, lends < LendsPerTick, &lends);
                   lent.keycode != 0) {
            press(lent.keycode, lent.shift);
        } else {
            break; // every spare key was pressed too recently: on the next tick
        }
        ++m_next;
    }
    XSync(m_display, False);
    if (m_next == m_keysyms.size())
        finish(QString());
}

X11Typist::KeyOnLayout X11Typist::lentKey(uint32_t keysym, bool mayLend, int *lends)
{
    for (Lent &lent : m_lent) {
        for (const bool shift : {false, true}) {
            if (lent.keysyms[shift] == keysym) {
                lent.pressed.start();
                return {lent.keycode, shift};
            }
        }
    }
    if (!mayLend)
        return {0, false};
    ++*lends;
    // A key with its second place free; else one never lent; else the one pressed longest ago,
    // if that is long enough ago.
    auto lent = std::find_if(m_lent.begin(), m_lent.end(),
                             [](const Lent &l) { return l.keysyms[0] != 0 && l.keysyms[1] == 0; });
    const bool second = lent != m_lent.end();
    if (!second) {
        lent = std::min_element(m_lent.begin(), m_lent.end(), [](const Lent &a, const Lent &b) {
            if (!a.pressed.isValid() || !b.pressed.isValid())
                return !a.pressed.isValid() && b.pressed.isValid();
            return a.pressed.elapsed() > b.pressed.elapsed();
        });
        if (lent == m_lent.end() || (lent->pressed.isValid() && lent->pressed.elapsed() < RelendMs))
            return {0, false};
        lent->keysyms[0] = keysym;
        lent->keysyms[1] = 0;
    } else {
        lent->keysyms[1] = keysym;
    }
    x11LendKeysym(m_display, lent->keycode, lent->keysyms[0], lent->keysyms[1]);
    lent->pressed.start();
    return {lent->keycode, second};
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
    XCloseDisplay(m_display);
    m_display = nullptr;
    if (std::any_of(m_lent.cbegin(), m_lent.cend(),
                    [](const Lent &l) { return l.keysyms[0] != 0; }))
        m_giveBack.start();
    std::exchange(m_done, nullptr)(failure);
}

void X11Typist::giveBack()
{
    Display *display = XOpenDisplay(m_displayName.constData());
    if (!display)
        return;
    for (Lent &lent : m_lent) {
        if (lent.keysyms[0] != 0)
            x11GiveBackKeysym(display, lent.keycode, lent.keysyms[0]);
        lent.keysyms[0] = lent.keysyms[1] = 0;
    }
    XCloseDisplay(display);
}
