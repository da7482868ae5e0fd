#include "xembedtraywatch.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

// The X server says when the tray selection changes hands: no polling, no round trip after the
// start.
struct XEmbedTrayWatch::Watch final : QAbstractNativeEventFilter
{
    XEmbedTrayWatch &owner;
    uint8_t notifyEvent = 0;
    xcb_atom_t selection = XCB_NONE;
    bool present = false;

    explicit Watch(XEmbedTrayWatch &watch) : owner(watch) {}

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != notifyEvent)
            return false;
        const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        if (notify->selection != selection)
            return false;
        const bool now = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER &&
                         notify->owner != XCB_NONE;
        if (now != present) {
            present = now;
            Q_EMIT owner.changed();
        }
        return false; // Qt's clipboard looks at selection events too
    }
};

namespace {

xcb_window_t rootOfScreen(xcb_connection_t *connection, int number)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; screens.rem > 0; xcb_screen_next(&screens), --number) {
        if (number == 0)
            return screens.data->root;
    }
    return XCB_NONE;
}

} // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject *parent)
    : QObject(parent), m_watch(std::make_unique<Watch>(*this))
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return;
    // The screen Qt opened, as DISPLAY names it.
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen))
        std::free(host);
    const xcb_window_t root = rootOfScreen(connection, screen);
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
    if (!atom || root == XCB_NONE) {
        std::free(atom);
        return;
    }
    m_watch->selection = atom->atom;
    m_watch->notifyEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
    std::free(atom);
    // Watched before the owner is asked for, so that no change falls in between.
    xcb_xfixes_select_selection_input(connection, root, m_watch->selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, m_watch->selection), nullptr);
    m_watch->present = owner && owner->owner != XCB_NONE;
    std::free(owner);
    QCoreApplication::instance()->installNativeEventFilter(m_watch.get());
}

XEmbedTrayWatch::~XEmbedTrayWatch()
{
    QCoreApplication::instance()->removeNativeEventFilter(m_watch.get());
}

bool XEmbedTrayWatch::isPresent() const
{
    return m_watch->present;
}
