#pragma once

#include "hotkeys/shortcutbackend.h"

#include <memory>
#include <QStringList>

// The X11 back-ends, for HotKeyPlatform's factories. Null, or false, without an X connection.
std::unique_ptr<ShortcutBackend> createX11ShortcutBackend(ShortcutBackend::Handlers handlers);
bool sendX11Paste(int stroke);
// For KeyboardState::isFree and FocusedWindow::windowClass.
bool x11KeysFree(int code);
QStringList x11FocusedWindowClass();
