#pragma once

#include "hotkeys/shortcutbackend.h"
#include "hotkeys/x11/x11keymap.h"

#include <functional>
#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>

// Hot keys on X11: passive key grabs on the root window through Qt's own xcb connection, and a
// native event filter that turns the grabbed presses into activations.
class X11ShortcutBackend final : public ShortcutBackend, public QAbstractNativeEventFilter
{
public:
    X11ShortcutBackend(xcb_connection_t *connection, xcb_window_t root, Handlers handlers);
    ~X11ShortcutBackend() override;

    bool grab(int code) override;
    QList<bool> grabMany(const QList<int> &codes) override;
    void ungrab(int code) override;
    void flush() override;
    void retryRefused(const QList<int> &codes) override;
    void suspendPasteGrabs(int stroke) override;
    void suspendTypingGrabs() override;
    void resumePasteGrabs() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    // One combination as the server sees it.
    struct Grab
    {
        xcb_keycode_t keycode = 0;
        uint16_t modifiers = 0;
        bool held = false;
    };

    void loadMapping();
    void mappingChanged();
    Grab resolve(int code) const;
    void suspendWhere(const std::function<bool(const Grab &)> &triggered);
    QList<uint16_t> lockVariants() const;
    static quint32 physicalKey(xcb_keycode_t keycode, uint16_t modifiers)
    {
        return (quint32(keycode) << 16) | modifiers;
    }
    void rebuildPhysicalIndex();
    // Grabs each combination with every lock variant, all requests out before the first answer
    // is awaited; one result per grab. A combination held only in part is let go again.
    QList<bool> grabOnServer(const QList<Grab> &grabs);
    void ungrabOnServer(const Grab &grab);

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    Handlers m_handlers;
    uint8_t m_xkbEventBase = 0;

    X11Keymap m_keymap;
    uint16_t m_numLockMask = 0;
    uint16_t m_altMask = XCB_MOD_MASK_1;
    uint16_t m_metaMask = XCB_MOD_MASK_4;

    QList<Grab> m_releases;           // let go of, not yet sent (see flush())
    QHash<int, Grab> m_grabs;         // by Qt code
    QHash<quint32, int> m_byPhysical; // held grabs by keycode and modifiers: the Qt code
    QList<int> m_suspended;           // codes let go of while the paste key stroke is sent

    // The key event this connection saw last, on any window: tells an auto-repeat from a press.
    uint8_t m_lastKeyType = 0;
    xcb_keycode_t m_lastKeycode = 0;
    xcb_timestamp_t m_lastKeyTime = 0;
};
