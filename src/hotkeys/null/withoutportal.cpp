// In builds without Qt's D-Bus module.
#include "hotkeys/platform.h"

#include <QCoreApplication>

std::unique_ptr<Platform> createPortalPlatform()
{
    return std::make_unique<Platform>(QCoreApplication::translate(
        "Platform", "this build of Keyquill has no D-Bus support for the desktop portals"));
}
