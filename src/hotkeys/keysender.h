#pragma once

// Synthesises the paste key stroke (Ctrl down, V down, V up, Ctrl up) into whatever window has
// the keyboard focus, with the V of the current keyboard layout, on the platform that
// HotKeyPlatform chose.
class KeySender final
{
public:
    // False where the platform cannot send keys; nothing is sent then.
    static bool sendPaste();
};
