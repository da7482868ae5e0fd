#pragma once

#include "editor/noteeditor.h"
#include "hotkeys/hotkeycontroller.h"
#include "hotkeys/livemaster.h"
#include "mainwindow/storefollower.h"
#include "online/updatechecker.h"
#include "store/macrostore.h"

#include <memory>
#include <QMainWindow>

class Dialogs;
class HotKeyPlatform;
class MacroCommands;
class MacroTreeItems;
class PendingBoxes;
class QAction;
class QCloseEvent;
class QPrinter;
class QTreeWidgetItem;
class QUrl;
class TrayController;
class UnavailableMarks;
struct UnsavedEdit;

namespace Ui {
class MainWindow;
}

// The program's one main window: the form, its actions and menus, and the wiring between the
// tree and the objects that own each concern (the store, the note editor, the live master macro
// and its hot keys, the tray, the update check). Commands live in mainwindow_commands.cpp.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    // Hot keys go through `platform`, which must outlive the window. Questions and warnings go
    // through `dialogs` (tests pass scripted ones); null means the standard dialogs.
    explicit MainWindow(HotKeyPlatform &platform, Dialogs *dialogs = nullptr,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    MacroStore &store() { return m_store; }
    HotKeyController &hotKeys() { return m_hotKeys; }
    LiveMaster &live() { return m_live; }
    NoteEditor &editor();

    // An end from outside (a log-out, SIGTERM) asks nothing: an edit still pending is kept for
    // the next start to offer back (UnsavedEdit). Call once the event loop is over.
    void keepUnsavedEdit();

public Q_SLOTS:
    // Brings the window to the front (a second start asked for it).
    void restore();
    // "&Quit": asks first whether unsaved edits of a note are to be saved or dropped.
    void quit();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_btnExpand_clicked();
    void exportMasterMacro();
    void importMasterMacro();
    void printMasterMacro();
    void printAllMasterMacros();
    void generateMasterMacroPP(QPrinter *printer);
    void generateAllMasterMacrosPP(QPrinter *printer);
    void addMasterMacro();
    void addMacro();
    void renameMacro();
    void deleteMacro();
    void helpAbout();
    void helpInstructions();
    void currentMacroChanged(QTreeWidgetItem *current);
    void macroCheckStateChanged(QTreeWidgetItem *item);
    void showLive(const QString &master);
    void noteSaved(const QString &master, const QString &note, int code);
    void setTreeLocked(bool locked);
    void editPreferences();
    void markUnavailableKeys();

private:
    friend struct MainWindowTester; // the print and update-check tests reach slots here

    void createActionsAndMenus();
    // A box the program shows of its own accord: said in the tray now, shown once the user
    // comes to the window.
    void warnWhenLooking(const QString &title, const QString &text);
    void offerUnsavedEdit(const UnsavedEdit &edit);

    QTreeWidgetItem *selectedItem() const;
    QTreeWidgetItem *masterItem(const QString &name) const; // exact name; null when none

    HotKeyPlatform &m_platform;
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs &m_dialogs;
    MacroStore m_store;
    HotKeyController m_hotKeys;
    LiveMaster m_live;
    std::unique_ptr<MacroTreeItems> m_items;
    std::unique_ptr<UnavailableMarks> m_marks;
    std::unique_ptr<MacroCommands> m_commands;
    UpdateChecker m_updates;
    TrayController *m_tray = nullptr;
    PendingBoxes *m_boxes = nullptr;
    StoreFollower *m_follower = nullptr;
    bool m_showingLive = false;  // the tree's ticks follow the live master macro
    bool m_toldRemember = false; // a failure to keep the live one is said once
    QAction *m_quitAction = nullptr;
};
