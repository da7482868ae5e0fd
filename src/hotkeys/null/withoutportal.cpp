// In builds without Qt's D-Bus module.
#include "hotkeys/null/nullplatform.h"

#include <QCoreApplication>

std::unique_ptr<HotKeyPlatform> createPortalPlatform()
{
    return std::make_unique<NullPlatform>(QCoreApplication::translate(
        "HotKeyPlatform", "this build of Keyquill has no D-Bus support for the desktop portals"));
}
