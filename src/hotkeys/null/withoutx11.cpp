// In builds without the X11 libraries.
#include "hotkeys/platform.h"

#include <QCoreApplication>

std::unique_ptr<Platform> createX11Platform()
{
    return std::make_unique<Platform>(
        QCoreApplication::translate("Platform", "this build of Keyquill has no X11 support"));
}
