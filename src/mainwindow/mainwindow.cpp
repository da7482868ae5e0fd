#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mainwindow/trayicon.h"
#include "mainwindow/unavailablemarks.h"
#include "store/lastlivemaster.h"
#include "store/preferences.h"
#include "widgets/dialogs.h"
#include "widgets/headingsize.h"
#include "widgets/macrotreeitems.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>

MainWindow::MainWindow(Dialogs *dialogs, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<Dialogs>()),
      m_dialogs(dialogs ? *dialogs : *m_ownDialogs), m_hotKeys(m_store),
      m_mainIcon(QStringLiteral(":/images/icon_main.png"))
{
    ui->setupUi(this);
    m_items = std::make_unique<MacroTreeItems>(ui->treeMacros);
    m_editor = std::make_unique<NoteEditor>(
        m_store, m_dialogs,
        NoteEditor::Widgets{ui->shortcutCtrl, ui->shortcutAlt, ui->shortcutShift, ui->shortcutKey,
                            ui->macro, ui->btnUpdate, ui->btnRevert});
    connect(m_editor.get(), &NoteEditor::dirtyChanged, this, &MainWindow::setTreeLocked);
    connect(m_editor.get(), &NoteEditor::saved, this, &MainWindow::noteSaved);
    connect(ui->treeMacros, &QTreeWidget::currentItemChanged, this,
            &MainWindow::currentMacroChanged);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &MainWindow::macroCheckStateChanged);
    connect(&m_hotKeys, &HotKeyController::unavailableChanged, this,
            &MainWindow::markUnavailableKeys);
    // Links in the panel leave through the system; the panel itself never navigates.
    ui->ads->setOpenLinks(false);
    ui->ads->setOpenExternalLinks(false);
    connect(ui->ads, &QTextBrowser::anchorClicked, this, &MainWindow::adsLinkClicked);
    // Qt's HTML import gives h1 a fixed size step that overrides the page's own "h1 {
    // font-size: 12px }", which made the headings larger than everything else in the panel.
    setHeadingPixelSize(ui->ads->document(), 1, 12);

    createActions();
    createMenus();
    ui->mainToolBar->addAction(m_addMasterMacroAction);
    ui->mainToolBar->addAction(m_addNoteAction);

    m_items->load(m_store);

    connect(&m_updates, &UpdateChecker::updateAvailable, this, &MainWindow::showUpdateAvailable);
    connect(&m_updates, &UpdateChecker::failed, this, &MainWindow::showUpdateError);
    m_updates.start();

    createTrayIcon();
    m_trayIcon->setVisible(true);

    // Only when the user asked: otherwise every master macro starts unticked.
    connect(&m_hotKeys, &HotKeyController::liveChanged, this, &MainWindow::rememberLiveMaster);
    m_tickLastLive = Preferences::load().tickLastLiveAtStart();
    if (m_tickLastLive) {
        if (QTreeWidgetItem *item = masterItem(LastLiveMaster::read()))
            item->setCheckState(0, Qt::Checked);
    }
}

MainWindow::~MainWindow()
{
    // The tree empties itself as it goes, after the members the tray's follow-up needs.
    disconnect(ui->treeMacros->model(), nullptr, this, nullptr);
    // The editor holds pointers into the form.
    m_editor.reset();
    ui.reset();
}

void MainWindow::createActions()
{
    QWidget *tree = ui->treeMacros;
    const auto make = [this](QObject *owner, const QIcon &icon, const QString &text,
                             void (MainWindow::*slot)()) {
        auto *action = new QAction(icon, text, owner);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_exportAction = make(tree, {}, tr("&Export Master Macro"), &MainWindow::exportMasterMacro);
    m_importAction = make(tree, {}, tr("&Import Master Macro"), &MainWindow::importMasterMacro);
    m_printAction = make(tree, {}, tr("&Print Master Macro"), &MainWindow::printMasterMacro);
    m_printAction->setShortcut(QKeySequence(tr("Ctrl+P")));
    m_printAllAction =
        make(tree, {}, tr("&Print All Master Macros"), &MainWindow::printAllMasterMacros);
    m_printAllAction->setShortcut(QKeySequence(tr("Ctrl+Alt+P")));
    m_quitAction = new QAction(tr("&Quit"), this);
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit);
    m_addMasterMacroAction =
        make(tree, m_items->masterIcon(), tr("Add Master Macro"), &MainWindow::addMasterMacro);
    m_addNoteAction = make(tree, m_items->noteIcon(), tr("Add Note"), &MainWindow::addMacro);
    m_renameAction = make(tree, {}, tr("Rename"), &MainWindow::renameMacro);
    m_deleteAction = make(tree, {}, tr("Delete"), &MainWindow::deleteMacro);
    m_aboutAction = make(this, {}, tr("&About"), &MainWindow::helpAbout);
    m_instructionsAction = make(this, {}, tr("&Instructions"), &MainWindow::helpInstructions);
    m_preferencesAction = make(this, {}, tr("Preferences…"), &MainWindow::editPreferences);

    tree->addActions({m_addMasterMacroAction, m_addNoteAction, m_renameAction, m_deleteAction,
                      m_printAction, m_printAllAction});
}

void MainWindow::createMenus()
{
    QMenu *file = ui->menuBar->addMenu(tr("&File"));
    file->addAction(m_exportAction);
    file->addAction(m_importAction);
    file->addSeparator();
    file->addAction(m_printAction);
    file->addAction(m_printAllAction);
    file->addSeparator();
    file->addAction(m_quitAction);

    QMenu *edit = ui->menuBar->addMenu(tr("&Edit"));
    edit->addActions({m_addMasterMacroAction, m_addNoteAction, m_renameAction, m_deleteAction});
    edit->addSeparator();
    edit->addAction(m_preferencesAction);
    ui->menuBar->addSeparator();

    QMenu *help = ui->menuBar->addMenu(tr("&Help"));
    help->addActions({m_aboutAction, m_instructionsAction});
}

void MainWindow::createTrayIcon()
{
    m_tray = new TrayIcon(m_mainIcon, m_quitAction, this);
    m_trayIcon = m_tray->icon();
    m_trayIcon->setToolTip(windowTitle());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);
    connect(m_tray, &TrayIcon::masterChosen, this, &MainWindow::chooseMasterFromTray);
    connect(&m_hotKeys, &HotKeyController::liveChanged, this, &MainWindow::syncTrayMasters);
    connect(&m_hotKeys, &HotKeyController::liveChanged, this, &MainWindow::showLiveInTray);
    // Adds, renames, deletes and imports all pass through the tree's rows.
    m_trayMastersSync.setSingleShot(true);
    m_trayMastersSync.setInterval(0);
    connect(&m_trayMastersSync, &QTimer::timeout, this, &MainWindow::syncTrayMasters);
    connect(&m_trayWatch, &QTimer::timeout, this, &MainWindow::takeWindowIntoTray);
    const QAbstractItemModel *rows = ui->treeMacros->model();
    const auto later = [this] { m_trayMastersSync.start(); };
    connect(rows, &QAbstractItemModel::rowsInserted, this, later);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, later);
    connect(rows, &QAbstractItemModel::rowsMoved, this, later);
    connect(rows, &QAbstractItemModel::modelReset, this, later);
    connect(rows, &QAbstractItemModel::dataChanged, this, later);
    syncTrayMasters();
    // The program lives in the tray: with the window hidden, closing any other window (a
    // message box, a dialog) would otherwise count as closing the last one and end it.
    QApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(this);
}

void MainWindow::syncTrayMasters()
{
    QStringList masters;
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i)
        masters << ui->treeMacros->topLevelItem(i)->text(0);
    m_tray->showMasters(masters, m_hotKeys.activeMaster());
}

void MainWindow::showLiveInTray()
{
    m_tray->showLive(TrayIcon::toolTip(windowTitle(), m_hotKeys.activeMaster(), m_unavailableKeys),
                     m_hotKeys.hasLiveKeys());
}

void MainWindow::chooseMasterFromTray(const QString &name)
{
    // As a click on the box would: nothing while the editor holds unsaved edits.
    if (!ui->treeMacros->isEnabled())
        return;
    if (QTreeWidgetItem *item = masterItem(name))
        item->setCheckState(0, m_hotKeys.isActive(name) ? Qt::Unchecked : Qt::Checked);
}

void MainWindow::rememberLiveMaster()
{
    // Written at every change, so that a crash forgets nothing either.
    if (m_tickLastLive)
        LastLiveMaster::write(m_hotKeys.activeMaster());
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick)
        return;
    if (isVisible())
        setVisible(false);
    else
        showMaximized();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // While the tray icon shows, closing only hides: the hot keys must stay live. Without a
    // tray to come back from, the window stays in the task bar, minimized.
    if (m_trayIcon && m_trayIcon->isVisible()) {
        const bool hasTray = QSystemTrayIcon::isSystemTrayAvailable();
        if (!hasTray && m_quitting)
            return;
        event->ignore();
        if (hasTray) {
            setVisible(false);
            m_trayWatch.stop();
        } else {
            showMinimized();
            m_trayWatch.start(1000);
        }
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::Quit) {
        m_quitting = true;
        // Should the quit not go through, the next close minimizes again.
        QTimer::singleShot(0, this, [this] { m_quitting = false; });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::restore()
{
    showMaximized();
    activateWindow();
    raise();
}

void MainWindow::takeWindowIntoTray()
{
    // At log-in the panel may come up after the program: once it does, the window closed
    // before it goes where it would have gone.
    if (!isMinimized())
        m_trayWatch.stop();
    else if (QSystemTrayIcon::isSystemTrayAvailable())
        close();
}

void MainWindow::on_btnExpand_clicked()
{
    ui->expandable->setVisible(false);
}

QTreeWidgetItem *MainWindow::masterItem(const QString &name) const
{
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        if (ui->treeMacros->topLevelItem(i)->text(0) == name)
            return ui->treeMacros->topLevelItem(i);
    }
    return nullptr;
}

QTreeWidgetItem *MainWindow::selectedItem() const
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void MainWindow::currentMacroChanged(QTreeWidgetItem *current)
{
    if (!current)
        return;
    QTreeWidgetItem *master = current->parent();
    m_editor->show(master ? master->text(0) : current->text(0),
                   master ? current->text(0) : QString());
}

void MainWindow::macroCheckStateChanged(QTreeWidgetItem *item)
{
    if (!item || item->parent())
        return;
    const QString master = item->text(0);
    if (item->checkState(0) == Qt::Checked) {
        // Unticking the others runs this slot again, nested, and releases their keys.
        for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
            QTreeWidgetItem *other = ui->treeMacros->topLevelItem(i);
            if (other != item && other->checkState(0) == Qt::Checked)
                other->setCheckState(0, Qt::Unchecked);
        }
        m_hotKeys.activate(master);
    } else if (m_hotKeys.isActive(master)) {
        m_hotKeys.deactivate();
    }
    ui->treeMacros->setVisible(false);
    ui->treeMacros->setVisible(true);
}

void MainWindow::noteSaved(const QString &master, const QString &note, int code)
{
    if (QTreeWidgetItem *item = selectedItem(); item && item->text(0) == note) {
        const QString shortcutText = MacroTreeItems::codeText(code);
        item->setText(1, shortcutText);
        item->setToolTip(1, shortcutText);
    }
    if (m_hotKeys.isActive(master))
        m_hotKeys.reload();
}

// No message box: a hot key another program holds is the user's to notice in the tree or the
// tray, as often as the live master macro is ticked or rebuilt.
void MainWindow::markUnavailableKeys()
{
    const QString live = m_hotKeys.activeMaster();
    QHash<QString, int> codes;
    if (!live.isEmpty()) {
        const QList<MacroStore::NoteCode> notes = m_store.noteCodes(live);
        for (const MacroStore::NoteCode &note : notes)
            codes.insert(note.name, note.code);
    }
    m_unavailableKeys =
        UnavailableMarks::markTree(ui->treeMacros, live, codes, m_hotKeys.unavailable(),
                                   style()->standardIcon(QStyle::SP_MessageBoxWarning));
    showLiveInTray();
}

void MainWindow::setTreeLocked(bool locked)
{
    ui->menuBar->setEnabled(!locked);
    ui->mainToolBar->setEnabled(!locked);
    ui->treeMacros->setEnabled(!locked);
    if (m_tray)
        m_tray->setMastersEnabled(!locked);
}
