#pragma once

#include <memory>
#include <QMainWindow>

class Dialogs;
class EditRecovery;
class FileCommands;
class KeyRegistration;
class LiveMaster;
class MacroCommands;
class MacroStore;
class MacroTreeItems;
class NoteEditor;
class QAction;
class QCloseEvent;
class QTreeWidgetItem;
class StoreFollower;
class UnavailableMarks;

namespace Ui {
class MainWindow;
}

// The program's one main window: the form, its actions and menus, and the wiring between the
// tree and the objects that own each concern (the store, the note editor, the live master macro
// and its hot keys). What lies beyond the form (the tray, the preferences, the update check) is
// asked for through signals; Application answers them.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    // All must outlive the window. Questions and warnings go through `dialogs` (tests pass
    // scripted ones); null means the standard dialogs.
    MainWindow(MacroStore &store, LiveMaster &live, KeyRegistration &keys,
               Dialogs *dialogs = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    MacroStore &store() { return m_store; }
    LiveMaster &live() { return m_live; }
    NoteEditor &editor();
    Dialogs &dialogs() { return m_dialogs; }
    StoreFollower &follower() { return *m_follower; }
    EditRecovery &recovery() { return *m_recovery; }
    QAction *quitAction() const { return m_quitAction; }
    // The master macros as the tree lists them.
    QStringList masterNames() const;
    // A close only hides (closeRequested()): the tray keeps the program.
    void setHidesOnClose(bool hides) { m_hidesOnClose = hides; }

public Q_SLOTS:
    // "&Quit": asks first whether unsaved edits of a note are to be saved or dropped.
    void quit();

Q_SIGNALS:
    void closeRequested();
    void preferencesAsked();
    void aboutAsked();
    // How many hot keys of the live master macro cannot work.
    void unavailableCounted(int count);
    // The editor holds unsaved edits: nothing may switch the note or the live master macro.
    void treeLocked(bool locked);
    // Master macros were added, renamed, deleted or read anew.
    void mastersChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_btnExpand_clicked();
    void currentMacroChanged(QTreeWidgetItem *current);
    void macroCheckStateChanged(QTreeWidgetItem *item);
    void showLive(const QString &master);
    void noteSaved(const QString &master, const QString &note, int code);
    void setTreeLocked(bool locked);
    void markUnavailableKeys();

private:
    QTreeWidgetItem *masterItem(const QString &name) const; // exact name; null when none

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs &m_dialogs;
    MacroStore &m_store;
    LiveMaster &m_live;
    KeyRegistration &m_keys;
    std::unique_ptr<MacroTreeItems> m_items;
    std::unique_ptr<UnavailableMarks> m_marks;
    std::unique_ptr<MacroCommands> m_commands;
    std::unique_ptr<EditRecovery> m_recovery;
    std::unique_ptr<FileCommands> m_files;
    StoreFollower *m_follower = nullptr;
    QAction *m_quitAction = nullptr;
    bool m_hidesOnClose = false;
    bool m_showingLive = false;  // the tree's ticks follow the live master macro
    bool m_toldRemember = false; // a failure to keep the live one is said once
};
