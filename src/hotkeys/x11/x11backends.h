#pragma once

#include "hotkeys/shortcutbackend.h"

#include <memory>

// The X11 back-ends, for HotKeyPlatform's factories. Null, or false, without an X connection.
std::unique_ptr<ShortcutBackend> createX11ShortcutBackend(ShortcutBackend::Handlers handlers);
bool sendX11Paste();
