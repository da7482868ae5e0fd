// In builds without the X11 libraries.
#include "hotkeys/null/nullplatform.h"

#include <QCoreApplication>

std::unique_ptr<HotKeyPlatform> createX11Platform()
{
    return std::make_unique<NullPlatform>(
        QCoreApplication::translate("HotKeyPlatform", "this build of Keyquill has no X11 support"));
}
