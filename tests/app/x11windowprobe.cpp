#include "x11windowprobe.h"

#include <cstdlib>
#include <cstring>
#include <QByteArray>
#include <xcb/xcb.h>

struct X11WindowProbe::Private
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = 0;

    xcb_atom_t atom(const char *name) const
    {
        const auto cookie =
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    // The property's raw bytes, empty when it is not set.
    QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const
    {
        const auto cookie = xcb_get_property(connection, 0, window, name, type, 0, 1024);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
        QByteArray bytes;
        if (reply && reply->type != XCB_ATOM_NONE) {
            bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        }
        std::free(reply);
        return bytes;
    }
};

X11WindowProbe::X11WindowProbe() : d(new Private)
{
    d->connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(d->connection))
        return;
    d->root = xcb_setup_roots_iterator(xcb_get_setup(d->connection)).data->root;
}

X11WindowProbe::~X11WindowProbe()
{
    xcb_disconnect(d->connection);
    delete d;
}

bool X11WindowProbe::isValid() const
{
    return d->root != 0;
}

X11WindowProbe::State X11WindowProbe::windowOf(qint64 pid, const QString &title) const
{
    State state;
    if (!isValid())
        return state;
    const xcb_atom_t pidAtom = d->atom("_NET_WM_PID");
    const xcb_atom_t nameAtom = d->atom("_NET_WM_NAME");
    const xcb_atom_t utf8Atom = d->atom("UTF8_STRING");
    const xcb_atom_t stateAtom = d->atom("_NET_WM_STATE");
    const xcb_atom_t vertAtom = d->atom("_NET_WM_STATE_MAXIMIZED_VERT");
    const xcb_atom_t horzAtom = d->atom("_NET_WM_STATE_MAXIMIZED_HORZ");

    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(d->connection, xcb_query_tree(d->connection, d->root), nullptr);
    if (!tree)
        return state;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    for (int i = 0; i < count && !state.window; ++i) {
        const xcb_window_t window = children[i];
        const QByteArray pidBytes = d->property(window, pidAtom, XCB_ATOM_CARDINAL);
        if (pidBytes.size() != 4)
            continue;
        quint32 windowPid = 0;
        std::memcpy(&windowPid, pidBytes.constData(), 4);
        if (windowPid != pid)
            continue;
        if (QString::fromUtf8(d->property(window, nameAtom, utf8Atom)) != title)
            continue;
        state.window = window;
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            d->connection, xcb_get_window_attributes(d->connection, window), nullptr);
        state.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        const QByteArray atoms = d->property(window, stateAtom, XCB_ATOM_ATOM);
        bool vert = false;
        bool horz = false;
        for (int at = 0; at + 4 <= atoms.size(); at += 4) {
            xcb_atom_t value = 0;
            std::memcpy(&value, atoms.constData() + at, 4);
            vert = vert || value == vertAtom;
            horz = horz || value == horzAtom;
        }
        state.maximized = vert && horz;
    }
    std::free(tree);
    return state;
}

void X11WindowProbe::requestClose(quint32 window) const
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = d->atom("WM_PROTOCOLS");
    event.data.data32[0] = d->atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(d->connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(d->connection);
}
