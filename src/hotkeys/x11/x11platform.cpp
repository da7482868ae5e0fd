#include "x11platform.h"

#include "hotkeys/platform.h"
#include "hotkeys/x11/x11keymap.h"
#include "hotkeys/x11/x11keysender.h"
#include "hotkeys/x11/x11keysyms.h"
#include "hotkeys/x11/x11lentkeys.h"
#include "hotkeys/x11/x11shortcutbackend.h"
#include "hotkeys/x11/x11typist.h"

#include <cstdlib>
#include <QGuiApplication>

#include <X11/Xlib.h>

namespace {

// WM_CLASS holds two strings, each ended by a zero byte.
QStringList wmClass(xcb_connection_t *connection, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
        nullptr);
    if (!reply)
        return {};
    const QByteArray value(static_cast<const char *>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    if (value.isEmpty())
        return {};
    const QList<QByteArray> parts = value.split('\0');
    return {QString::fromLocal8Bit(parts.value(0)), QString::fromLocal8Bit(parts.value(1))};
}

} // namespace

std::unique_ptr<Platform> createX11Platform()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display())
        return std::make_unique<Platform>(
            QCoreApplication::translate("Platform", "Qt has no connection to the X server"));
    auto platform = std::make_unique<Platform>();
    auto backend = std::make_unique<X11Platform>(x11->connection(), x11->display());
    platform->setShortcuts(*backend);
    platform->setKeys(*backend);
    platform->setFocus(*backend);
    platform->keep(std::move(backend));
    return platform;
}

X11Platform::X11Platform(xcb_connection_t *connection, _XDisplay *display)
    : m_connection(connection), m_display(display),
      m_lent(std::make_unique<X11LentKeys>(XDisplayString(display))),
      m_sender(std::make_unique<X11KeySender>(XDisplayString(display), *m_lent)),
      m_typist(std::make_unique<X11Typist>(XDisplayString(display), *m_lent)),
      m_xwayland(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                 qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
{
}

QString X11Platform::caveat() const
{
    if (!m_xwayland)
        return QString();
    return tr("Keyquill runs through XWayland: only X11 programs send it its hot keys and take "
              "its paste; Wayland programs never do. Started without QT_QPA_PLATFORM=xcb it uses "
              "the desktop's global shortcuts portal instead.");
}

X11Platform::~X11Platform() = default;

QString X11Platform::description() const
{
    const QString grabs = tr("Hot keys: X11 key grabs; the paste key is sent through XTest.");
    return m_xwayland ? grabs + QLatin1Char(' ') + caveat() : grabs;
}

std::unique_ptr<ShortcutBackend>
X11Platform::createShortcutBackend(ShortcutBackend::Handlers handlers)
{
    return std::make_unique<X11ShortcutBackend>(m_connection, DefaultRootWindow(m_display),
                                                std::move(handlers));
}

void X11Platform::sendStroke(int stroke, Done done)
{
    endKeycapPicture();
    done(m_sender->send(stroke));
}

void X11Platform::typeText(const QString &text, Done done)
{
    endKeycapPicture();
    m_typist->type(text, std::move(done));
}

// urxvt takes a bare Ctrl+Shift tap for the start of a keycap picture (ISO 14755) and turns the
// next key into one. A hot key of Ctrl+Shift leaves it just that, as our grab takes the key
// between. A key without a symbol ends the mode with nothing typed, and does nothing otherwise.
void X11Platform::endKeycapPicture()
{
    if (focusedWindowClass().value(1).compare(QLatin1String("URxvt"), Qt::CaseInsensitive) == 0)
        m_sender->tapKeyWithoutSymbol();
}

// From the server's key map: the physical state, whatever grabs exist.
bool X11Platform::keysFree(int code)
{
    X11Keymap keymap;
    keymap.load(m_connection);
    QSet<xcb_keycode_t> watched = keymap.modifierKeycodes();
    const uint32_t keysym = x11KeysymForQtKey(code & ~Qt::KeyboardModifierMask);
    if (keysym != 0)
        watched.unite(keymap.keycodesOf(keysym));
    xcb_query_keymap_reply_t *down =
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr);
    if (!down)
        return true;
    const bool free = std::none_of(watched.cbegin(), watched.cend(), [down](xcb_keycode_t key) {
        return (down->keys[key / 8] & (1u << (key % 8))) != 0;
    });
    std::free(down);
    return free;
}

quintptr X11Platform::focusedWindow()
{
    xcb_get_input_focus_reply_t *focus =
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    if (!focus)
        return 0;
    const xcb_window_t window = focus->focus;
    std::free(focus);
    return window == XCB_INPUT_FOCUS_POINTER_ROOT ? 0 : window;
}

// The exact window, a child of the program's (xterm's text area) as well; a window manager
// lets a client hand the focus on like this.
void X11Platform::giveFocusBack(quintptr window)
{
    if (window == 0)
        return;
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, xcb_window_t(window),
                        XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

// From the X input focus upwards: the focus may sit on a child of the program's window (xterm's
// text area does); the class is on the client window, below the window manager's frame.
QStringList X11Platform::focusedWindowClass()
{
    xcb_get_input_focus_reply_t *focus =
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    if (!focus)
        return {};
    xcb_window_t window = focus->focus;
    std::free(focus);
    for (int depth = 0; depth < 32 && window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT;
         ++depth) {
        const QStringList names = wmClass(m_connection, window);
        if (!names.isEmpty())
            return names;
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        if (!tree)
            return {};
        const xcb_window_t parent = tree->root == window ? XCB_NONE : tree->parent;
        std::free(tree);
        window = parent;
    }
    return {};
}
