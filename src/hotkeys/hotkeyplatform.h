#pragma once

#include <QString>

// Which system-wide hot keys and paste key stroke this session allows, chosen at run time: X11
// when Qt runs on xcb (under XWayland too, when the user asks for xcb), the desktop portals on
// a Wayland session whose portal offers global shortcuts, and none otherwise. The factories
// ShortcutBackend::create and KeySender::sendPaste follow this choice.
class HotKeyPlatform final
{
public:
    enum class Kind { X11, Portal, None };

    // On Wayland this asks the desktop portal over D-Bus.
    static Kind detect(QString *why = nullptr);
    // One line for the user: which one is in use or, when none, why hot keys cannot work.
    static QString describe();
    // Qt runs as a Wayland client.
    static bool isWayland();
};
