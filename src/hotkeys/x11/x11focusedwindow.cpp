// The focused program's WM_CLASS, from the X input focus upwards.
#include "hotkeys/x11/x11backends.h"

#include <cstdlib>
#include <QGuiApplication>

#include <xcb/xcb.h>

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

QStringList x11FocusedWindowClass()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    xcb_get_input_focus_reply_t *focus =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (!focus)
        return {};
    xcb_window_t window = focus->focus;
    std::free(focus);

    // The focus may sit on a child of the program's window (xterm's text area does); the
    // class is on the client window, below the window manager's frame and the root.
    for (int depth = 0; depth < 32 && window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT;
         ++depth) {
        const QStringList names = wmClass(connection, window);
        if (!names.isEmpty())
            return names;
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree)
            return {};
        const xcb_window_t parent = tree->root == window ? XCB_NONE : tree->parent;
        std::free(tree);
        window = parent;
    }
    return {};
}
