#pragma once

#include "engine/deliveryengine.h"
#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "hotkeys/platform.h"
#include "hotkeys/shortcutregistry.h"
#include "store/macrostore.h"
#include "store/preferences.h"

// The engine as the program puts it together over `platform` (a real one, or a FakePlatform's):
// the grabs, the live master macro's hot keys, and every request delivered.
struct EngineRig
{
    ShortcutRegistry registry;
    KeyRegistration keys;
    LiveMaster live;
    DeliveryEngine engine;

    EngineRig(Platform &platform, const MacroStore &store)
        : registry(platform.shortcuts(), platform.keys()), keys(platform.shortcuts(), registry),
          live(store, keys), engine(platform, registry, store)
    {
        QObject::connect(&live, &LiveMaster::requested, &engine, &DeliveryEngine::submit);
    }
    // As the program applies them.
    void apply(const Preferences &preferences)
    {
        engine.setPreferences(preferences);
        keys.setQuickPickCode(preferences.quickPickShortcut());
    }
};
