#include "x11targetping.h"

#include <X11/Xlib.h>

namespace {

// Whether `window` names its window manager protocols (in `offers`: whether the ping is one).
bool namesProtocols(Display *display, Window window, Atom ping, bool *offers)
{
    Atom *list = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &list, &count))
        return false;
    *offers = false;
    for (int i = 0; i < count; ++i)
        *offers = *offers || list[i] == ping;
    XFree(list);
    return true;
}

} // namespace

X11TargetPing::X11TargetPing(Display *display) : m_display(display)
{
    m_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    m_ping = XInternAtom(display, "_NET_WM_PING", False);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Window root = DefaultRootWindow(display);
    // The focus may sit on a window inside the program's top level.
    for (Window window = focus; window != None && window != PointerRoot && window != root;) {
        bool offers = false;
        if (namesProtocols(display, window, m_ping, &offers)) {
            m_window = offers ? window : 0;
            break;
        }
        Window rootOfTree = None;
        Window parent = None;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &rootOfTree, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        window = parent;
    }
    // The echo is sent to the root window, to whoever listens there for changes of its children
    // (GTK) or of itself (Qt).
    if (m_window != 0)
        XSelectInput(display, root, SubstructureNotifyMask | StructureNotifyMask);
}

bool X11TargetPing::answers()
{
    answered();
    return m_window != 0 && !(m_waiting.isValid() && m_waiting.elapsed() > OverdueMs);
}

uint64_t X11TargetPing::send()
{
    if (m_window == 0)
        return 0;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = m_window;
    event.xclient.message_type = m_protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(m_ping);
    // In place of the time stamp: programs echo it as it is.
    event.xclient.data.l[1] = long(++m_sent);
    event.xclient.data.l[2] = long(m_window);
    XSendEvent(m_display, m_window, False, NoEventMask, &event);
    XFlush(m_display);
    if (!m_waiting.isValid())
        m_waiting.start();
    return m_sent;
}

uint64_t X11TargetPing::answered()
{
    if (m_window == 0)
        return m_answered;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type != ClientMessage || event.xclient.message_type != m_protocols ||
            Atom(event.xclient.data.l[0]) != m_ping || Window(event.xclient.data.l[2]) != m_window)
            continue;
        const uint64_t number = uint64_t(event.xclient.data.l[1]);
        if (number > m_answered && number <= m_sent) {
            m_answered = number;
            // The next echo is awaited from now, if a later ping is out.
            if (m_answered == m_sent)
                m_waiting.invalidate();
            else
                m_waiting.start();
        }
    }
    return m_answered;
}
