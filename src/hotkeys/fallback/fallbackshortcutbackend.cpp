// Platforms without a hot-key back-end: every registration quietly fails.
#include "hotkeys/shortcutbackend.h"

std::unique_ptr<ShortcutBackend> ShortcutBackend::create(Handlers)
{
    return nullptr;
}
