#include "x11windowpicker.h"

#include "hotkeys/x11/x11platform.h"

#include <cstdlib>
#include <QSocketNotifier>

#include <xcb/xcb.h>

namespace {

constexpr uint16_t CrosshairGlyph = 34; // XC_crosshair of the cursor font

// The window that carries WM_CLASS: the one clicked, or below a window manager's frame, the
// first of its descendants that has one.
QStringList namesBelow(xcb_connection_t *connection, xcb_window_t window, int depth = 0)
{
    const QStringList names = X11Platform::wmClass(connection, window);
    if (!names.isEmpty() || depth >= 3)
        return names;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree)
        return {};
    const xcb_window_t *children = xcb_query_tree_children(tree);
    QStringList found;
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0 && found.isEmpty(); --i)
        found = namesBelow(connection, children[i], depth + 1);
    std::free(tree);
    return found;
}

} // namespace

void X11WindowPicker::pick(FocusTracker::Picked done)
{
    auto *picker = new X11WindowPicker(std::move(done));
    if (!picker->grab())
        picker->finish({});
}

X11WindowPicker::X11WindowPicker(FocusTracker::Picked done) : m_done(std::move(done))
{
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, [this] { finish({}); });
}

X11WindowPicker::~X11WindowPicker()
{
    delete m_events;
    if (m_connection)
        xcb_disconnect(m_connection); // lets go of the grab too
}

bool X11WindowPicker::grab()
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection))
        return false;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const xcb_font_t font = xcb_generate_id(m_connection);
    xcb_open_font(m_connection, font, 6, "cursor");
    const xcb_cursor_t cross = xcb_generate_id(m_connection);
    xcb_create_glyph_cursor(m_connection, cross, font, font, CrosshairGlyph, CrosshairGlyph + 1, 0,
                            0, 0, 0xffff, 0xffff, 0xffff);
    xcb_grab_pointer_reply_t *grabbed = xcb_grab_pointer_reply(
        m_connection,
        xcb_grab_pointer(m_connection, 0, screen->root, XCB_EVENT_MASK_BUTTON_PRESS,
                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, cross,
                         XCB_CURRENT_TIME),
        nullptr);
    const bool ok = grabbed && grabbed->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(grabbed);
    xcb_free_cursor(m_connection, cross);
    xcb_close_font(m_connection, font);
    xcb_flush(m_connection);
    if (!ok)
        return false;
    m_events = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    connect(m_events, &QSocketNotifier::activated, this, &X11WindowPicker::read);
    m_giveUp.start(FocusTracker::PickWindowMs);
    return true;
}

void X11WindowPicker::read()
{
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        const bool press = (event->response_type & 0x7f) == XCB_BUTTON_PRESS;
        const auto *button = reinterpret_cast<xcb_button_press_event_t *>(event);
        const bool first = press && button->detail == 1;
        const xcb_window_t window = press ? button->child : XCB_NONE;
        std::free(event);
        if (press) {
            finish(first && window != XCB_NONE ? namesBelow(m_connection, window) : QStringList());
            return;
        }
    }
    if (xcb_connection_has_error(m_connection))
        finish({});
}

void X11WindowPicker::finish(const QStringList &names)
{
    m_giveUp.stop();
    if (m_events)
        m_events->setEnabled(false);
    const FocusTracker::Picked done = std::move(m_done);
    deleteLater();
    if (done)
        done(names);
}
