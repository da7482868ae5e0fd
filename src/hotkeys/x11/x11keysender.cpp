#include "x11keysender.h"

#include "hotkeys/x11/x11keysyms.h"
#include "hotkeys/x11/x11lentkeys.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QList>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("X11KeySender", text);
}

} // namespace

X11KeySender::X11KeySender(const QByteArray &displayName, X11LentKeys &lent)
    : m_displayName(displayName), m_lent(lent)
{
}

X11KeySender::~X11KeySender() = default;

QString X11KeySender::send(int stroke)
{
    const KeySym keysym = x11KeysymForQtKey(stroke & ~Qt::KeyboardModifierMask);
    if (keysym == 0)
        return tr("%1 cannot be typed on X11.").arg(QKeySequence(stroke).toString());
    Display *display = XOpenDisplay(m_displayName.constData());
    if (!display)
        return tr("The X display %1 cannot be opened.").arg(QString::fromLocal8Bit(m_displayName));
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    QString failure;
    if (XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        QList<KeyCode> modifiers;
        if (stroke & Qt::ControlModifier)
            modifiers.append(XKeysymToKeycode(display, XK_Control_L));
        if (stroke & Qt::ShiftModifier)
            modifiers.append(XKeysymToKeycode(display, XK_Shift_L));
        // Any group will do: programs map Ctrl with a key of another alphabet to its Latin
        // meaning. A layout without the key at all gets it on a spare keycode for a moment.
        KeyCode key = XKeysymToKeycode(display, keysym);
        bool lent = key != 0 && key == m_lent.keycodeOf(keysym); // still lent from before
        if (key == 0 && (key = x11SpareKeycodes(display).value(0)) != 0) {
            m_lent.lend(display, {{key, keysym, 0, 0}});
            lent = true;
        }
        if (key != 0 && !modifiers.contains(0)) {
            for (KeyCode modifier : std::as_const(modifiers))
                XTestFakeKeyEvent(display, modifier, True, CurrentTime);
            XTestFakeKeyEvent(display, key, True, CurrentTime);
            XTestFakeKeyEvent(display, key, False, CurrentTime);
            for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
                XTestFakeKeyEvent(display, *it, False, CurrentTime);
            XSync(display, False);
        } else {
            failure = tr("The keyboard has no key for %1, and no spare key to lend it.")
                          .arg(QKeySequence(stroke).toString());
        }
        if (lent)
            m_lent.keepForNow(); // only the last stroke that needed the key gives it back
    } else {
        failure = tr("The X server has no XTest extension, so no key can be sent.");
    }
    XCloseDisplay(display);
    return failure;
}

void X11KeySender::tapKeyWithoutSymbol()
{
    Display *display = XOpenDisplay(m_displayName.constData());
    if (!display)
        return;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    const KeyCode key = x11SpareKeycodes(display).value(0);
    if (key != 0 && XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        XTestFakeKeyEvent(display, key, True, CurrentTime);
        XTestFakeKeyEvent(display, key, False, CurrentTime);
        XSync(display, False);
    }
    XCloseDisplay(display);
}
