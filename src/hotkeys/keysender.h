#pragma once

// Synthesises a paste key stroke (modifiers down, key down, key up, modifiers up) into whatever
// window has the keyboard focus, on the platform that HotKeyPlatform chose.
class KeySender final
{
public:
    // `stroke` is one of PasteKeyTable's strokes (a Qt key OR-ed with Ctrl and/or Shift). The
    // key is taken from the current keyboard layout, whichever group holds it; where no key
    // gives it at all, a spare key is lent its symbol for the stroke. False where the platform
    // cannot send keys; nothing is sent then.
    static bool sendPaste(int stroke);
};
