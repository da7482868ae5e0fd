#pragma once

#include "engine/abbreviationwatch.h"
#include "engine/deliveryengine.h"
#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "hotkeys/shortcutregistry.h"
#include "mainwindow/inputsasker.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"

#include <memory>
#include <QObject>

class Dialogs;
class PendingBoxes;
class Platform;
class Preferences;
class QuickPick;
class RemoteControl;
class TrayController;
class UpdateChecker;

// The program put together: builds the store, the live master macro and its hot keys and
// abbreviations, the delivery engine, the main window, the tray, "Pick a note" and the update check
// over the platform it is given, and wires them. Holds what crosses them: the preferences as they
// apply to each, boxes shown of the program's own accord, and the window brought back.
class Application final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // Ask the vendor's server for a newer version (the build may switch it off).
        bool checkForUpdates = true;
    };

    // The platform must outlive the application. Questions and warnings go through `dialogs`
    // (tests pass scripted ones); null means the standard dialogs.
    // `mastersAtStart`: what the start check listed of the native settings file, if anything.
    Application(Platform &platform, Dialogs *dialogs, const Options &options,
                const MacroStore::MasterList &mastersAtStart = {});
    ~Application() override;

    MacroStore &store() { return m_store; }
    KeyRegistration &keys() { return m_keys; }
    LiveMaster &live() { return m_live; }
    DeliveryEngine &engine() { return m_engine; }
    AbbreviationWatch &abbreviations() { return m_abbreviations; }
    MainWindow &window() { return m_window; }
    TrayController &tray() { return *m_tray; }
    QuickPick &quickPick() { return *m_quickPick; }

    // The user's choices as they stand now, for the engine, the hot keys and the live master
    // macro (at start, and after the Preferences).
    void apply(const Preferences &preferences);
    // The window at start: shown, or only the tray icon.
    void showAtStart(bool inTray);
    // Offers "Pick a note", a delivery and the list of notes to other programs (the command
    // line) on the session bus; false, and why, when it cannot.
    bool offerRemoteControl(QString *why = nullptr);
    // An end from outside (a log-out, SIGTERM) asks nothing: an edit still pending is kept for
    // the next start to offer back. Call once the event loop is over.
    void keepUnsavedEdit();

public Q_SLOTS:
    // Brings the window to the front (a second start asked for it).
    void restore();
    // "Pick a note", whichever way it was asked for.
    void pick();

private:
    void editPreferences();
    void showAbout();
    // A box the program shows of its own accord: said in the tray now, shown once the user
    // comes to the window.
    void warnWhenLooking(const QString &title, const QString &text);

    Platform &m_platform;
    MacroStore m_store;
    ShortcutRegistry m_registry;
    KeyRegistration m_keys;
    LiveMaster m_live;
    DeliveryEngine m_engine;
    AbbreviationWatch m_abbreviations;
    MainWindow m_window;
    InputsAsker m_asker;
    std::unique_ptr<QuickPick> m_quickPick;
    std::unique_ptr<UpdateChecker> m_updates;
    std::unique_ptr<RemoteControl> m_remote;
    TrayController *m_tray = nullptr; // the window's
    PendingBoxes *m_boxes = nullptr;  // the window's
    bool m_editingPreferences = false;
};
