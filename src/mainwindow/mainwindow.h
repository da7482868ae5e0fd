#pragma once

#include "editor/noteeditor.h"
#include "hotkeys/hotkeycontroller.h"
#include "online/updatechecker.h"
#include "store/macrostore.h"

#include <memory>
#include <QIcon>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>

class Dialogs;
class MacroTreeItems;
class QAction;
class QCloseEvent;
class QMenu;
class QPrinter;
class QTreeWidgetItem;
class QUrl;
class TrayIcon;

namespace Ui {
class MainWindow;
}

// The program's one main window: the form, its actions and menus, the tray icon, and the glue
// between the tree and the objects that own each concern (the store, the note editor, the live
// hot keys, the update check). Commands live in mainwindow_commands.cpp.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    // Questions and warnings go through `dialogs` (tests pass scripted ones); null means the
    // standard dialogs.
    explicit MainWindow(Dialogs *dialogs = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    MacroStore &store() { return m_store; }
    HotKeyController &hotKeys() { return m_hotKeys; }
    NoteEditor &editor() { return *m_editor; }

public Q_SLOTS:
    // Brings the window to the front (a second start asked for it).
    void restore();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void on_btnRevert_clicked() { m_editor->revert(); }
    void on_btnExpand_clicked();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
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
    void noteSaved(const QString &master, const QString &note, int code);
    void setTreeLocked(bool locked);
    void chooseMasterFromTray(const QString &name);
    void syncTrayMasters();
    void showLiveInTray();
    void takeWindowIntoTray();
    void rememberLiveMaster();
    void showUpdateAvailable();
    void showUpdateError(const QString &description);
    void adsLinkClicked(const QUrl &url);
    void editPreferences();
    void markUnavailableKeys();

private:
    friend struct MainWindowTester; // the print, About and update-check tests reach slots here

    void createActions();
    void createMenus();
    void createTrayIcon();

    QTreeWidgetItem *selectedItem() const;
    QTreeWidgetItem *masterItem(const QString &name) const; // exact name; null when none
    void warn(const QString &text);
    void storeWriteFailed(const QString &what);

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<Dialogs> m_ownDialogs;
    Dialogs &m_dialogs;
    MacroStore m_store;
    HotKeyController m_hotKeys;
    std::unique_ptr<MacroTreeItems> m_items;
    std::unique_ptr<NoteEditor> m_editor;
    UpdateChecker m_updates;

    QIcon m_mainIcon;
    TrayIcon *m_tray = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QTimer m_trayMastersSync; // the tree changes row by row; the menu follows once per turn
    QTimer m_trayWatch;       // runs only while the window waits minimized for a tray
    bool m_quitting = false;  // a quit closes every window and stops at one that refuses
    bool m_tickLastLive = false;
    int m_unavailableKeys = 0; // of the live master macro, marked in the tree
    QAction *m_exportAction = nullptr;
    QAction *m_importAction = nullptr;
    QAction *m_printAction = nullptr;
    QAction *m_printAllAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_addMasterMacroAction = nullptr;
    QAction *m_addNoteAction = nullptr;
    QAction *m_renameAction = nullptr;
    QAction *m_deleteAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_instructionsAction = nullptr;
    QAction *m_preferencesAction = nullptr;
};
