#include "x11keywatcher.h"

#include <clocale>
#include <QSocketNotifier>

#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// What ends a run of typing: the caret may be elsewhere now.
bool breaksTyping(KeySym keysym)
{
    switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
    case XK_Tab:
    case XK_ISO_Left_Tab:
    case XK_Escape:
    case XK_Left:
    case XK_Right:
    case XK_Up:
    case XK_Down:
    case XK_Home:
    case XK_End:
    case XK_Prior:
    case XK_Next:
    case XK_KP_Left:
    case XK_KP_Right:
    case XK_KP_Up:
    case XK_KP_Down:
    case XK_KP_Home:
    case XK_KP_End:
    case XK_KP_Prior:
    case XK_KP_Next:
        return true;
    default:
        return false;
    }
}

bool isModifierOrLock(KeySym keysym)
{
    return IsModifierKey(keysym) || keysym == XK_ISO_Level3_Shift ||
           keysym == XK_ISO_Level5_Shift || keysym == XK_Mode_switch ||
           (keysym >= XK_ISO_Lock && keysym <= XK_ISO_Last_Group_Lock);
}

// WM_CLASS of the window or of the nearest window above it that has one.
QStringList classOf(Display *display, Window window)
{
    for (int depth = 0; depth < 32 && window != None && window != PointerRoot; ++depth) {
        XClassHint hint{};
        if (XGetClassHint(display, window, &hint)) {
            const QStringList names{QString::fromLocal8Bit(hint.res_name ? hint.res_name : ""),
                                    QString::fromLocal8Bit(hint.res_class ? hint.res_class : "")};
            XFree(hint.res_name);
            XFree(hint.res_class);
            return names;
        }
        Window root = None;
        Window parent = None;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return {};
        if (children)
            XFree(children);
        if (parent == root)
            return {};
        window = parent;
    }
    return {};
}

} // namespace

X11KeyWatcher::X11KeyWatcher(const QString &displayName, QObject *parent)
    : QObject(parent), m_displayName(displayName)
{
    // Only asked here whether the server can do it; the connection waits for watch().
    Display *display = XOpenDisplay(m_displayName.toLocal8Bit().constData());
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!display)
        m_unavailable = tr("The X display %1 cannot be opened.").arg(m_displayName);
    else if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
             XIQueryVersion(display, &major, &minor) != Success)
        m_unavailable = tr("The X server lacks the XInput 2 extension, which abbreviations need.");
    if (display)
        XCloseDisplay(display);
}

X11KeyWatcher::~X11KeyWatcher()
{
    close();
}

QString X11KeyWatcher::unavailableReason() const
{
    return m_unavailable;
}

void X11KeyWatcher::watch(const Handlers &handlers)
{
    m_handlers = handlers;
    if (!m_handlers.key) {
        close();
        return;
    }
    if (!m_display && !open())
        close();
}

bool X11KeyWatcher::open()
{
    if (!m_unavailable.isEmpty())
        return false;
    m_display = XOpenDisplay(m_displayName.toLocal8Bit().constData());
    if (!m_display)
        return false;
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XQueryExtension(m_display, "XInputExtension", &m_xiOpcode, &event, &error) ||
        !XkbQueryExtension(m_display, nullptr, &m_xkbEvent, &error, &major, &minor))
        return false;
    XkbSelectEvents(m_display, XkbUseCoreKbd,
                    XkbStateNotifyMask | XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                    XkbStateNotifyMask | XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
    m_keymap = XkbGetMap(m_display, XkbAllClientInfoMask, XkbUseCoreKbd);
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    m_state = XkbBuildCoreState(state.lookup_mods, state.group);

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof(bits)), bits};
    XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);

    // Dead keys compose as the user's locale has them.
    m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const char *locale = std::setlocale(LC_CTYPE, nullptr);
    if (m_context) {
        for (const char *name : {locale, "en_US.UTF-8"}) {
            if (!m_composeTable && name)
                m_composeTable = xkb_compose_table_new_from_locale(m_context, name,
                                                                   XKB_COMPOSE_COMPILE_NO_FLAGS);
        }
    }
    if (m_composeTable)
        m_compose = xkb_compose_state_new(m_composeTable, XKB_COMPOSE_STATE_NO_FLAGS);
    m_focus = 0;
    m_watchedFocus = 0;
    m_grabbed = false;
    XSync(m_display, False);
    m_notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(true); });
    readEvents(true);
    return true;
}

void X11KeyWatcher::close()
{
    m_notifier.reset();
    if (m_compose)
        xkb_compose_state_unref(m_compose);
    if (m_composeTable)
        xkb_compose_table_unref(m_composeTable);
    if (m_context)
        xkb_context_unref(m_context);
    m_compose = nullptr;
    m_composeTable = nullptr;
    m_context = nullptr;
    if (m_keymap)
        XkbFreeKeyboard(static_cast<XkbDescPtr>(m_keymap), 0, True);
    m_keymap = nullptr;
    if (m_display)
        XCloseDisplay(m_display);
    m_display = nullptr;
}

void X11KeyWatcher::skipPending()
{
    if (!m_display)
        return;
    // Whatever the server made of the keys sent before this round trip is in the queue after it.
    XSync(m_display, False);
    readEvents(false);
    if (m_compose)
        xkb_compose_state_reset(m_compose);
}

void X11KeyWatcher::catchUp()
{
    if (!m_display)
        return;
    XSync(m_display, False);
    readEvents(true);
}

bool X11KeyWatcher::keyboardGrabbed()
{
    if (!m_display)
        return false;
    // A grab of our own for an instant tells whether another client holds one; kept for the
    // moment before a replacement, as the focused window sees it come and go.
    const int status = XGrabKeyboard(m_display, DefaultRootWindow(m_display), False, GrabModeAsync,
                                     GrabModeAsync, CurrentTime);
    if (status == GrabSuccess)
        XUngrabKeyboard(m_display, CurrentTime);
    XFlush(m_display);
    return status == AlreadyGrabbed || status == GrabFrozen;
}

void X11KeyWatcher::readEvents(bool deliver)
{
    // A handler may stop the watch, and the display with it.
    while (m_display && XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == GenericEvent && event.xcookie.extension == m_xiOpcode &&
            XGetEventData(m_display, &event.xcookie)) {
            const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
            const int type = event.xcookie.evtype;
            const int detail = raw->detail;
            XFreeEventData(m_display, &event.xcookie);
            if (!deliver)
                continue;
            if (type == XI_RawKeyPress)
                rawKey(detail);
            else if (type == XI_RawButtonPress && detail <= 3) // not the wheel
                m_handlers.key({TypedKey::Kind::Break, 0});
        } else if (event.type == m_xkbEvent) {
            const auto *xkb = reinterpret_cast<const XkbEvent *>(&event);
            if (xkb->any.xkb_type == XkbStateNotify) {
                m_state = XkbBuildCoreState(xkb->state.lookup_mods, xkb->state.group);
            } else if (xkb->any.xkb_type == XkbMapNotify ||
                       xkb->any.xkb_type == XkbNewKeyboardNotify) {
                if (m_keymap)
                    XkbFreeKeyboard(static_cast<XkbDescPtr>(m_keymap), 0, True);
                m_keymap = XkbGetMap(m_display, XkbAllClientInfoMask, XkbUseCoreKbd);
            }
        } else if (event.type == FocusOut && event.xfocus.mode != NotifyGrab &&
                   event.xfocus.window == m_watchedFocus && event.xfocus.detail != NotifyInferior &&
                   event.xfocus.detail != NotifyPointer) {
            // The focus left, if only for a moment: the next key is asked where it goes.
            m_focus = 0;
            if (deliver && m_handlers.key)
                m_handlers.key({TypedKey::Kind::Break, 0});
        } else if ((event.type == FocusOut && event.xfocus.mode == NotifyGrab) ||
                   (event.type == FocusIn && event.xfocus.mode == NotifyUngrab)) {
            const bool grabbed = event.type == FocusOut;
            if (grabbed != m_grabbed && event.xfocus.window == m_watchedFocus) {
                m_grabbed = grabbed;
                if (deliver && m_handlers.grabChanged)
                    m_handlers.grabChanged(grabbed);
            }
        }
    }
}

void X11KeyWatcher::followFocus()
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    if (focus == m_focus)
        return;
    m_focus = focus;
    // The focused window hears of a grab of the keyboard by any client (a focus change "for a
    // grab"); only its focus events are asked for, and its owner keeps its own.
    if (m_watchedFocus != 0)
        XSelectInput(m_display, m_watchedFocus, NoEventMask);
    m_watchedFocus = focus > PointerRoot ? focus : 0;
    if (m_watchedFocus != 0)
        XSelectInput(m_display, m_watchedFocus, FocusChangeMask);
    if (m_grabbed) {
        m_grabbed = false;
        if (m_handlers.grabChanged)
            m_handlers.grabChanged(false);
    }
    if (m_compose)
        xkb_compose_state_reset(m_compose);
    if (m_handlers.focusChanged)
        m_handlers.focusChanged(classOf(m_display, focus));
}

void X11KeyWatcher::rawKey(int keycode)
{
    followFocus();
    if (m_display && m_handlers.key)
        m_handlers.key(translate(keycode));
}

TypedKey X11KeyWatcher::translate(int keycode)
{
    auto *keymap = static_cast<XkbDescPtr>(m_keymap);
    KeySym keysym = NoSymbol;
    unsigned int consumed = 0;
    if (!keymap ||
        !XkbTranslateKeyCode(keymap, static_cast<KeyCode>(keycode), m_state, &consumed, &keysym) ||
        keysym == NoSymbol)
        return {TypedKey::Kind::Ignored, 0};
    if (isModifierOrLock(keysym))
        return {TypedKey::Kind::Ignored, 0};
    // A chord: what it does is the program's business, and AltGr is Mod5, not Alt.
    if ((m_state & (ControlMask | Mod1Mask | Mod4Mask)) != 0 || breaksTyping(keysym))
        return {TypedKey::Kind::Break, 0};
    if (keysym == XK_BackSpace)
        return {TypedKey::Kind::BackSpace, 0};
    uint32_t character = 0;
    if (m_compose && xkb_compose_state_feed(m_compose, keysym) == XKB_COMPOSE_FEED_ACCEPTED) {
        switch (xkb_compose_state_get_status(m_compose)) {
        case XKB_COMPOSE_COMPOSING:
            return {TypedKey::Kind::Ignored, 0};
        case XKB_COMPOSE_COMPOSED:
            character = xkb_keysym_to_utf32(xkb_compose_state_get_one_sym(m_compose));
            xkb_compose_state_reset(m_compose);
            break;
        case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(m_compose);
            return {TypedKey::Kind::Break, 0};
        case XKB_COMPOSE_NOTHING:
            character = xkb_keysym_to_utf32(keysym);
            break;
        }
    } else {
        character = xkb_keysym_to_utf32(keysym);
    }
    // Delete, Insert, function keys: the caret's surroundings are no longer known for sure.
    if (character < 0x20 || character == 0x7f)
        return {TypedKey::Kind::Break, 0};
    return {TypedKey::Kind::Character, character};
}
