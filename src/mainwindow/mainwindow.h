#pragma once

#include "exchange/filerequest.h"

#include <functional>
#include <memory>
#include <QIcon>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QSystemTrayIcon>

class QAction;
class QCloseEvent;
class QMenu;
class QNetworkReply;
class QPrinter;
class QSettings;
class QTimer;
class QTreeWidgetItem;
class QUrl;
class PasteDelivery;
class StoreWrite;

namespace Ui {
class MainWindow;
}

// The program's one main window; it owns every widget, the tray icon, the hot-key objects (as
// children of the tree) and the restore poll timer. Its slots are spread over several files by
// concern: mainwindow.cpp (form and actions), mainwindow_tray.cpp, mainwindow_tree.cpp,
// mainwindow_editor.cpp, mainwindow_commands.cpp, mainwindow_hotkeys.cpp,
// mainwindow_exchange.cpp, mainwindow_print.cpp and mainwindow_online.cpp.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    void on_btnRevert_clicked();
    void on_btnExpand_clicked();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void exportMasterMacro();
    void importMasterMacro();
    void printMasterMacro();
    void printAllMasterMacros();
    void addMasterMacro();
    void addMacro();
    void renameMacro();
    void deleteMacro();
    void helpAbout();
    void helpInstructions();
    void macroDirty();
    bool updateMacro();
    void currentMacroChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void macroCheckStateChanged(QTreeWidgetItem *item);
    void shortcutActivated();
    void generateMasterMacroPP(QPrinter *printer);
    void generateAllMasterMacrosPP(QPrinter *printer);
    void checkForUpdates();
    void requestFinished(QNetworkReply *reply);
    void adsLinkClicked(const QUrl &url);
    void interProcessCommunication();
    void editPreferences();

private:
    friend struct MainWindowTester; // white-box access for the tests

    // Form and actions (mainwindow.cpp)
    void fillKeyList();
    void fitAdsHeadings();
    void createActions();
    void createMenus();

    // Tray (mainwindow_tray.cpp)
    void createTrayIcon();

    // Macro tree (mainwindow_tree.cpp)
    void loadMacroTree();
    QTreeWidgetItem *addMasterMacroItem(const QString &name);
    void addNoteItem(QTreeWidgetItem *masterItem, const QString &name, const QString &shortcutText);

    // Note editor (mainwindow_editor.cpp)
    void setEditorDirty(bool dirty);
    bool shortcutInUse(int code, QTreeWidgetItem *note);
    void markUsedKeys(QTreeWidgetItem *note);
    QSettings *m_storeKeeper = nullptr; // keeps the store parsed (see the constructor)

    // Commands (mainwindow_commands.cpp)
    QString askNewName(const QString &title, const QString &label,
                       const std::function<bool(const QString &)> &clashes,
                       const QString &clashWarning);
    void storeWriteFailed(const QString &what, const QString &storeFile);

    // Hot keys and delivery (mainwindow_hotkeys.cpp)
    void registerShortcuts(const QString &masterName);
    void clearShortcuts();
    void markUnavailableKeys(const QString &live);
    bool findNoteText(int code, QString *text) const;
    void deliverNextNote();
    void pasteAndDeliverNext();

    // Import and export (mainwindow_exchange.cpp)
    // Asks for the file to import; empty means the real file dialog (tests put an answer here).
    FileRequest m_importFileRequest;

    // Printing (mainwindow_print.cpp)

    // Update check and help (mainwindow_online.cpp)
    void showUpdateError(const QString &description);

    std::unique_ptr<Ui::MainWindow> ui;
    QIcon m_mainIcon;
    QIcon m_masterMacroIcon;
    QIcon m_noteIcon;
    QIcon m_inUseIcon;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QNetworkAccessManager m_http;

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

    QMenu *m_fileMenu = nullptr;
    QMenu *m_editMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    QTimer *m_restoreTimer = nullptr;
    QString m_instanceKey;

    // Hot keys and delivery state
    QList<int> m_pendingDeliveries;  // fired codes not yet looked up, in press order
    QTimer *m_pasteTimer = nullptr;  // the wait between a clipboard write and its paste
    QTimer *m_settleTimer = nullptr; // lets the target fetch a paste before the next write
    PasteDelivery *m_delivery = nullptr;

    // Update check state
};
