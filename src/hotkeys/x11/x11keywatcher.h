#pragma once

#include "hotkeys/keywatcher.h"

#include <memory>
#include <QObject>
#include <QString>

class QSocketNotifier;
struct _XDisplay;
struct xkb_compose_state;
struct xkb_compose_table;
struct xkb_context;

// X11: key presses and clicks from the root window as XInput 2 raw events, which take nothing
// from any program, on a connection of its own that is open only while watching. Keys become
// characters with the server's layout and group as they stand at each key (XKB state events come
// in order with the keys) and the locale's dead-key compositions. The focused window is asked
// at each key; a grab by another client shows as a focus change "for a grab" on it.
class X11KeyWatcher final : public QObject, public KeyWatcher
{
    Q_OBJECT

public:
    explicit X11KeyWatcher(const QString &displayName, QObject *parent = nullptr);
    ~X11KeyWatcher() override;

    QString unavailableReason() const override;
    void watch(const Handlers &handlers) override;
    bool keyboardGrabbed() override;
    void skipPending() override;
    void catchUp() override;

private:
    bool open();
    void close();
    void readEvents(bool deliver);
    void rawKey(int keycode);
    void followFocus();
    TypedKey translate(int keycode);

    QString m_displayName;
    QString m_unavailable;
    Handlers m_handlers;
    _XDisplay *m_display = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_xiOpcode = 0;
    int m_xkbEvent = 0;
    void *m_keymap = nullptr; // XkbDescPtr
    unsigned int m_state = 0; // the core state with the group, as the last XKB event said
    unsigned long m_focus = 0;
    unsigned long m_watchedFocus = 0; // whose focus events tell of grabs
    bool m_grabbed = false;
    xkb_context *m_context = nullptr;
    xkb_compose_table *m_composeTable = nullptr;
    xkb_compose_state *m_compose = nullptr;
};
