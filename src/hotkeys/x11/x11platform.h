#pragma once

#include "hotkeys/focustracker.h"
#include "hotkeys/keyoutput.h"
#include "hotkeys/shortcutservice.h"

#include <memory>
#include <QObject>

class X11KeySender;
class X11LentKeys;
class X11Typist;
struct _XDisplay;
struct xcb_connection_t;

// X11: key grabs on the root window for the hot keys, XTest for the paste stroke, the server's
// key map for the keys held, WM_CLASS for the focused program. Everything goes through Qt's own
// connection but the stroke (X11KeySender).
class X11Platform final : public QObject,
                          public ShortcutService,
                          public KeyOutput,
                          public FocusTracker
{
    Q_OBJECT

public:
    X11Platform(xcb_connection_t *connection, _XDisplay *display);
    ~X11Platform() override;

    QString description() const override;
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override;
    void sendStroke(int stroke, Done done) override;
    bool keysFree(int code) override;
    QStringList focusedWindowClass() override;
    quintptr focusedWindow() override;
    void giveFocusBack(quintptr window) override;
    bool namesFocusedProgram() const override { return true; }
    QString caveat() const override;
    void typeText(const QString &text, Done done) override;

private:
    void endKeycapPicture();

    xcb_connection_t *m_connection;
    _XDisplay *m_display;
    std::unique_ptr<X11LentKeys> m_lent; // before the two that lend through it
    std::unique_ptr<X11KeySender> m_sender;
    std::unique_ptr<X11Typist> m_typist;
    bool m_xwayland; // an X server inside a Wayland session
};
