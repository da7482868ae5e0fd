#include "application.h"

#include "app/remotecontrol.h"
#include "editor/noteeditor.h"
#include "hotkeys/platform.h"
#include "mainwindow/editrecovery.h"
#include "mainwindow/modalscope.h"
#include "mainwindow/pendingboxes.h"
#include "mainwindow/preferencesdlg.h"
#include "mainwindow/storefollower.h"
#include "online/aboutdlg.h"
#include "online/updatechecker.h"
#include "quickpick/quickpick.h"
#include "store/autostart.h"
#include "store/preferences.h"
#include "store/storesnapshot.h"
#include "tray/traycontroller.h"
#include "widgets/dialogs.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScopedValueRollback>
#include <QTextDocumentFragment>
#include <QTimer>

namespace {

// Deliveries taken and not yet out, past which the command line and the bus are told to wait.
constexpr qsizetype MaxPendingFromOutside = 10;

} // namespace

Application::Application(Platform &platform, Dialogs *dialogs, const Options &options,
                         const MacroStore::MasterList &mastersAtStart)
    : m_platform(platform), m_store(mastersAtStart),
      m_registry(platform.shortcuts(), platform.keys()), m_keys(platform.shortcuts(), m_registry),
      m_live(m_store, m_keys), m_engine(platform, m_registry, m_store),
      m_abbreviations(platform.typing(), m_store, m_live),
      m_window(m_store, m_live, m_keys, dialogs), m_asker(&m_window),
      m_quickPick(std::make_unique<QuickPick>(m_store, m_keys, platform))
{
    // Every way in goes through the one engine.
    connect(&m_live, &LiveMaster::requested, &m_engine, &DeliveryEngine::submit);
    connect(m_quickPick.get(), &QuickPick::requested, &m_engine, &DeliveryEngine::submit);
    m_quickPick->setLiveMaster(&m_live);
    connect(&m_abbreviations, &AbbreviationWatch::requested, this,
            [this](const DeliveryRequest &request) {
                // A note gone meanwhile: the watch takes up typing again.
                if (!m_engine.submit(request))
                    m_abbreviations.deliveryEnded();
            });
    connect(&m_engine, &DeliveryEngine::deliveryStarted, &m_abbreviations,
            &AbbreviationWatch::deliveryStarted);
    connect(&m_engine, &DeliveryEngine::deliveryEnded, &m_abbreviations,
            &AbbreviationWatch::deliveryEnded);
    m_engine.setTypedMeanwhile(
        [this](QString *typed) { return m_abbreviations.typedMeanwhile(typed); });
    m_engine.setInputAsker(&m_asker);
    connect(&m_engine, &DeliveryEngine::fillInSwitched, &m_window.editor(), &NoteEditor::setFillIn);
    // Failing to keep it only means the desktop may ask once more at the next start.
    connect(&platform.events(), &PlatformEvents::keyboardTokenChanged, this,
            [](const QString &token) { Preferences::saveKeyboardToken(token); });

    m_tray = new TrayController(
        m_window, [this] { return m_window.masterNames(); }, m_live, m_keys, m_window.quitAction());
    m_window.setHidesOnClose(true);
    connect(&m_window, &MainWindow::closeRequested, m_tray, &TrayController::keepOnClose);
    connect(&m_window, &MainWindow::unavailableCounted, m_tray, &TrayController::setUnavailable);
    connect(&m_window, &MainWindow::treeLocked, m_tray,
            [this](bool locked) { m_tray->setMastersEnabled(!locked); });
    connect(&m_window, &MainWindow::mastersChanged, m_tray, &TrayController::mastersChanged);
    connect(&m_engine, &DeliveryEngine::pasteFinished, m_tray, &TrayController::showDelivered);
    connect(&m_engine, &DeliveryEngine::fillInWarning, m_tray, &TrayController::showFillInWarning);
    connect(&m_abbreviations, &AbbreviationWatch::watchingChanged, m_tray,
            &TrayController::setAbbreviationsWatched);
    connect(&m_window, &MainWindow::preferencesAsked, this, &Application::editPreferences);
    connect(m_tray, &TrayController::preferencesAsked, this, &Application::editPreferences);
    connect(&m_window, &MainWindow::pickAsked, this, &Application::pick);
    connect(m_tray, &TrayController::pickAsked, this, &Application::pick);
    connect(&m_window, &MainWindow::aboutAsked, this, &Application::showAbout);

    new ModalScope(&m_window);
    m_boxes = new PendingBoxes(&m_window);

    // Every master macro starts unticked unless the user asked for the last live one, which is
    // read before anything keeps the live one anew.
    const Preferences preferences = Preferences::load();
    m_engine.setPreferences(preferences);
    m_keys.setQuickPickCode(preferences.quickPickShortcut());
    m_tray->setPickOffered(preferences.quickPickShortcut() != 0);
    if (preferences.quickPickShortcut() != 0)
        m_quickPick->prepareWhileIdle();
    if (preferences.tickLastLiveAtStart())
        m_live.chooseRemembered();
    apply(preferences);

    m_window.recovery().offerKept([this](std::function<void()> box) { m_boxes->show(box); });
    if (options.checkForUpdates) {
        m_updates = std::make_unique<UpdateChecker>();
        m_updates->tellUser(
            [this](const QString &title, const QString &text) { warnWhenLooking(title, text); });
        m_updates->start();
    }
}

Application::~Application()
{
    // The tray and the window follow the engine and the hot keys no more as they go.
    m_engine.disconnect(m_tray);
}

void Application::apply(const Preferences &preferences)
{
    m_engine.setPreferences(preferences);
    m_abbreviations.setPreferences(preferences);
    m_window.editor().setAbbreviationShown(preferences.expandAbbreviations() &&
                                           m_abbreviations.unavailableReason().isEmpty());
    m_keys.setQuickPickCode(preferences.quickPickShortcut());
    m_tray->setPickOffered(preferences.quickPickShortcut() != 0);
    if (preferences.quickPickShortcut() != 0)
        m_quickPick->prepareWhileIdle();
    m_live.setRemembered(preferences.tickLastLiveAtStart());
}

void Application::showAtStart(bool inTray)
{
    if (inTray)
        m_window.close();
    else
        m_window.showMaximized();
}

void Application::keepUnsavedEdit()
{
    m_window.recovery().keep();
}

void Application::restore()
{
    m_tray->userShowsWindow();
    // A Wayland client can neither take its window out of the minimized state nor raise it, and
    // cannot even learn that the desktop minimized it; a window mapped anew comes up in front.
    if (m_window.isMinimized() ||
        (m_window.isVisible() && QGuiApplication::platformName().startsWith("wayland")))
        m_window.hide();
    m_window.showMaximized();
    m_window.activateWindow();
    m_window.raise();
}

bool Application::offerRemoteControl(QString *why)
{
    RemoteControl::Handlers handlers;
    handlers.pick = [this] { pick(); };
    handlers.deliver = [this](const QString &master, const QString &note) {
        // A script calling in a loop would otherwise queue a paste a second for as long as it
        // likes, and memory with it.
        if (m_engine.pending() >= MaxPendingFromOutside)
            return RemoteControl::Taken::Busy;
        return m_engine.submit({DeliveryRequest::Way::CommandLine, master, note, 0, 0})
                   ? RemoteControl::Taken::Yes
                   : RemoteControl::Taken::NoSuchNote;
    };
    handlers.list = [this] {
        QList<RemoteControl::Entry> entries;
        for (const StoreSnapshot::Master &master : m_store.snapshot()->masters()) {
            if (master.notes.isEmpty())
                entries.append({master.name, QString(), QString()});
            for (const StoreSnapshot::Note &note : master.notes)
                entries.append({master.name, note.name,
                                note.code ? QKeySequence(note.code).toString() : QString()});
        }
        return entries;
    };
    m_remote = std::make_unique<RemoteControl>(std::move(handlers));
    return m_remote->listen(why);
}

void Application::pick()
{
    // Asked for from the window: the note is for the program the user was in before it.
    if (m_window.isActiveWindow())
        m_window.close();
    QTimer::singleShot(0, m_quickPick.get(), &QuickPick::open);
}

void Application::editPreferences()
{
    // Asked for again from the tray while the dialog is open: that one stays the only one.
    if (m_editingPreferences)
        return;
    const QScopedValueRollback<bool> editing(m_editingPreferences, true);
    Dialogs &dialogs = m_window.dialogs();
    const auto warn = [this, &dialogs](const QString &text) {
        dialogs.warning(&m_window, QCoreApplication::applicationName(), text);
    };
    PreferencesDlg dialog(Preferences::load(), &m_window);
    dialog.setStartAtLogin(Autostart::isEnabled());
    dialog.setPasteKeysHonoured(m_platform.focus().namesFocusedProgram());
    dialog.setWindowPicker(&m_platform.focus());
    if (!m_platform.shortcuts().bindsHotKeys())
        dialog.setHotKeysRefused(m_platform.shortcuts().refusalReason());
    dialog.setAbbreviationsUnavailable(m_abbreviations.unavailableReason());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const Preferences preferences = dialog.preferences();
    if (preferences.save())
        apply(preferences);
    else
        warn(tr("The preferences were not saved: the settings file %1 cannot be written.")
                 .arg(m_store.fileName()));
    m_window.follower().moveTo(dialog.storeFolder());
    const bool start = dialog.startAtLogin();
    // Written again when on: the entry then names the program where it is now.
    if (!Autostart::setEnabled(start)) {
        const QString file = QDir::toNativeSeparators(Autostart::fileName());
        warn(start
                 ? tr("Keyquill will not start at log-in: the file %1 cannot be written.").arg(file)
                 : tr("Keyquill still starts at log-in: the file %1 cannot be removed.").arg(file));
    }
}

void Application::showAbout()
{
    AboutDlg dialog(m_platform.shortcuts().description());
    dialog.exec();
}

void Application::warnWhenLooking(const QString &title, const QString &text)
{
    if (!m_window.isActiveWindow())
        m_tray->showMessage(title, QTextDocumentFragment::fromHtml(text).toPlainText());
    m_boxes->show([this, title, text] { m_window.dialogs().warning(&m_window, title, text); });
}
