#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "editor/noteeditor.h"
#include "mainwindow/inputsdlg.h"
#include "mainwindow/macrocommands.h"
#include "mainwindow/modalscope.h"
#include "mainwindow/pendingboxes.h"
#include "mainwindow/traycontroller.h"
#include "mainwindow/unavailablemarks.h"
#include "mainwindow/unsavededit.h"
#include "quickpick/quickpick.h"
#include "quickpick/treefilter.h"
#include "store/preferences.h"
#include "widgets/dialogs.h"
#include "widgets/headingsize.h"
#include "widgets/macrotreeitems.h"
#include "widgets/treerefresh.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTextDocumentFragment>
#include <QToolBar>

MainWindow::MainWindow(HotKeyPlatform &platform, Dialogs *dialogs, QWidget *parent)
    : QMainWindow(parent), m_platform(platform), ui(std::make_unique<Ui::MainWindow>()),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<Dialogs>()),
      m_dialogs(dialogs ? *dialogs : *m_ownDialogs), m_hotKeys(platform), m_live(m_store, m_hotKeys)
{
    ui->setupUi(this);
    m_items = std::make_unique<MacroTreeItems>(ui->treeMacros);
    m_marks = std::make_unique<UnavailableMarks>(ui->treeMacros);
    m_commands =
        std::make_unique<MacroCommands>(this, ui->treeMacros, *m_items, m_store, m_live, m_dialogs);
    editor().attach(m_store, m_dialogs);
    connect(&editor(), &NoteEditor::dirtyChanged, this, &MainWindow::setTreeLocked);
    connect(&editor(), &NoteEditor::saved, this, &MainWindow::noteSaved);
    connect(ui->treeMacros, &QTreeWidget::currentItemChanged, this,
            &MainWindow::currentMacroChanged);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &MainWindow::macroCheckStateChanged);
    connect(&m_live, &LiveMaster::liveChanged, this, &MainWindow::showLive);
    connect(&m_hotKeys, &HotKeyController::unavailableChanged, this,
            &MainWindow::markUnavailableKeys);
    // What holds for every hot key of the session is shown on each live note.
    if (!m_hotKeys.caveat().isEmpty())
        connect(&m_hotKeys, &HotKeyController::liveChanged, this, &MainWindow::markUnavailableKeys);
    connect(&m_live, &LiveMaster::rememberFailed, this, [this] {
        if (!std::exchange(m_toldRemember, true))
            m_commands->warn(
                tr("The live Master Macro cannot be kept for the next start: the settings file "
                   "%1 cannot be written.")
                    .arg(m_store.fileName()));
    });
    // Links in the panel leave through the system; the panel itself never navigates.
    connect(ui->ads, &QTextBrowser::anchorClicked, this, &QDesktopServices::openUrl);
    // Qt's HTML import gives h1 a fixed size step that overrides the page's own "h1 {
    // font-size: 12px }", which made the headings larger than everything else in the panel.
    setHeadingPixelSize(ui->ads->document(), 1, 12);

    createActionsAndMenus();
    m_items->load(m_store);
    new TreeFilter(ui->treeMacros, *m_items, m_store); // Ctrl+F
    // The filter moved the tree to a place of its own in the form, and so to the end of the tab
    // order: the keyboard starts in the tree again and goes on into the editor.
    QWidget::setTabOrder(ui->treeMacros, &editor());
    ui->treeMacros->setFocus();
    m_follower =
        new StoreFollower(this, ui->treeMacros, *m_items, m_store, m_live, editor(), m_dialogs);

    new ModalScope(this);
    m_boxes = new PendingBoxes(this);
    m_updates.tellUser(
        [this](const QString &title, const QString &text) { warnWhenLooking(title, text); });
    m_updates.start();

    new QuickPick(m_store, m_hotKeys, m_platform, this); // shows once the preferences name a key
    m_tray = new TrayController(*this, *ui->treeMacros, m_live, m_hotKeys, m_quitAction);
    connect(&m_hotKeys, &HotKeyController::pasteFinished, m_tray,
            &TrayController::showPasteFailure);
    m_hotKeys.setInputAsk(&InputsDlg::ask);
    connect(&m_hotKeys, &HotKeyController::fillInSwitched, &editor(), &NoteEditor::setFillIn);
    // Failing to keep it only means the desktop may ask once more at the next start.
    connect(&m_hotKeys, &HotKeyController::keyboardTokenChanged, this,
            [](const QString &token) { Preferences::saveKeyboardToken(token); });

    // Every master macro starts unticked unless the user asked for the last live one.
    const Preferences preferences = Preferences::load();
    m_hotKeys.setPreferences(preferences);
    if (preferences.tickLastLiveAtStart())
        m_live.chooseRemembered();
    m_live.setRemembered(preferences.tickLastLiveAtStart());

    bool damaged = false;
    if (const std::optional<UnsavedEdit> kept = UnsavedEdit::read(&damaged))
        m_boxes->show([this, edit = *kept] { offerUnsavedEdit(edit); });
    else if (damaged)
        m_boxes->show([this] {
            m_commands->warn(tr("Changes to a Note that were not saved when Keyquill was last "
                                "ended were kept in %1, but that file cannot be read.")
                                 .arg(QDir::toNativeSeparators(UnsavedEdit::fileName())));
        });
}

MainWindow::~MainWindow()
{
    // The tree empties itself as it goes, and the live master macro lets go of its hot keys:
    // nothing of the window may follow them meanwhile.
    disconnect(ui->treeMacros, nullptr, this, nullptr);
    m_live.disconnect();
    m_hotKeys.disconnect();
}

NoteEditor &MainWindow::editor()
{
    return *ui->layoutWidget;
}

void MainWindow::createActionsAndMenus()
{
    QWidget *tree = ui->treeMacros;
    const auto make = [this](QObject *owner, const QIcon &icon, const QString &text,
                             void (MainWindow::*slot)(), const QString &shortcut = QString()) {
        auto *action = new QAction(icon, text, owner);
        action->setShortcut(QKeySequence(shortcut));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QAction *exportAction =
        make(tree, {}, tr("&Export Master Macro"), &MainWindow::exportMasterMacro);
    QAction *importAction =
        make(tree, {}, tr("&Import Master Macro"), &MainWindow::importMasterMacro);
    QAction *print =
        make(tree, {}, tr("&Print Master Macro"), &MainWindow::printMasterMacro, tr("Ctrl+P"));
    QAction *printAll = make(tree, {}, tr("&Print All Master Macros"),
                             &MainWindow::printAllMasterMacros, tr("Ctrl+Alt+P"));
    // Quits whatever refuses to close: every window of a program in the tray does.
    m_quitAction = new QAction(tr("&Quit"), this);
    connect(m_quitAction, &QAction::triggered, this, &MainWindow::quit);
    QAction *addMaster =
        make(tree, m_items->masterIcon(), tr("Add Master Macro"), &MainWindow::addMasterMacro);
    QAction *addNote = make(tree, m_items->noteIcon(), tr("Add Note"), &MainWindow::addMacro);
    QAction *rename = make(tree, {}, tr("Rename"), &MainWindow::renameMacro);
    QAction *remove = make(tree, {}, tr("Delete"), &MainWindow::deleteMacro);
    QAction *about = make(this, {}, tr("&About"), &MainWindow::helpAbout);
    QAction *instructions = make(this, {}, tr("&Instructions"), &MainWindow::helpInstructions);
    QAction *preferences = make(this, {}, tr("Preferences…"), &MainWindow::editPreferences);
    tree->addActions({addMaster, addNote, rename, remove, print, printAll});

    QMenu *file = ui->menuBar->addMenu(tr("&File"));
    file->addActions({exportAction, importAction});
    file->addSeparator();
    file->addActions({print, printAll});
    file->addSeparator();
    file->addAction(m_quitAction);
    QMenu *edit = ui->menuBar->addMenu(tr("&Edit"));
    edit->addActions({addMaster, addNote, rename, remove});
    edit->addSeparator();
    edit->addAction(preferences);
    ui->menuBar->addSeparator();
    ui->menuBar->addMenu(tr("&Help"))->addActions({about, instructions});
    ui->mainToolBar->addActions({addMaster, addNote});
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_tray) {
        m_tray->keepOnClose();
        event->ignore();
    }
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Hot keys another program let go of meanwhile are taken when the user comes to look.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_hotKeys.retryUnavailable();
}

void MainWindow::restore()
{
    if (m_tray)
        m_tray->userShowsWindow();
    // A Wayland client can neither take its window out of the minimized state nor raise it, and
    // cannot even learn that the desktop minimized it; a window mapped anew comes up in front.
    if (isMinimized() || (isVisible() && QGuiApplication::platformName().startsWith("wayland")))
        hide();
    showMaximized();
    activateWindow();
    raise();
}

void MainWindow::quit()
{
    NoteEditor &notes = editor();
    if (notes.isDirty()) {
        const int answer =
            m_dialogs.choice(this, QCoreApplication::applicationName(),
                             tr("The Note \"%1\" in \"%2\" has changes that are not saved.")
                                 .arg(notes.note(), notes.master()),
                             {tr("Save"), tr("Discard")});
        if (answer < 0 || (answer == 0 && !notes.save()))
            return;
        if (answer == 1)
            notes.revert();
    }
    // Quits whatever refuses to close: every window of a program in the tray does.
    QCoreApplication::exit(0);
}

void MainWindow::keepUnsavedEdit()
{
    const NoteEditor &notes = editor();
    if (notes.isDirty() &&
        !UnsavedEdit{notes.master(), notes.note(), notes.code(), notes.text()}.keep())
        qWarning("Keyquill: the unsaved changes to the Note \"%s\" could not be kept in %s",
                 qPrintable(notes.note()), qPrintable(UnsavedEdit::fileName()));
}

void MainWindow::offerUnsavedEdit(const UnsavedEdit &edit)
{
    // Taken up in the editor, which holds one note's edits at a time: else asked at the next start.
    if (editor().isDirty())
        return;
    const int answer = m_dialogs.choice(
        this, QCoreApplication::applicationName(),
        tr("Keyquill was ended while the Note \"%1\" in \"%2\" had changes that were not saved. "
           "Take them up again?")
            .arg(edit.note, edit.master),
        {tr("Take them up"), tr("Discard them")});
    if (answer == 1)
        UnsavedEdit::forget();
    if (answer != 0)
        return;
    // A note deleted since (on another machine, perhaps) comes back with the text.
    if (!m_store.noteNames(edit.master).contains(edit.note)) {
        if (!m_store.saveNote(edit.master, edit.note, 0, edit.text)) {
            m_commands->warn(tr("The Note \"%1\" was not saved: the macro store %2 cannot be "
                                "written.")
                                 .arg(edit.note, m_store.fileName()));
            return;
        }
        TreeRefresh::apply(ui->treeMacros, *m_items, m_store);
    }
    QTreeWidgetItem *master = masterItem(edit.master);
    m_items->fill(master);
    for (int i = 0; master && i < master->childCount(); ++i) {
        if (master->child(i)->text(0) == edit.note)
            ui->treeMacros->setCurrentItem(master->child(i));
    }
    if (editor().master() != edit.master || editor().note() != edit.note)
        return; // the file stays for the next start
    editor().edit(edit.code, edit.text);
    UnsavedEdit::forget();
}

void MainWindow::warnWhenLooking(const QString &title, const QString &text)
{
    if (!isActiveWindow())
        m_tray->showMessage(title, QTextDocumentFragment::fromHtml(text).toPlainText());
    m_boxes->show([this, title, text] { m_dialogs.warning(this, title, text); });
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
    editor().showNote(master ? master->text(0) : current->text(0),
                      master ? current->text(0) : QString());
}

void MainWindow::macroCheckStateChanged(QTreeWidgetItem *item)
{
    if (!item || item->parent() || m_showingLive)
        return;
    const QString master = item->text(0);
    if (item->checkState(0) == Qt::Checked)
        m_live.choose(master);
    else if (m_live.isLive(master))
        m_live.choose(QString());
    ui->treeMacros->redraw();
}

void MainWindow::showLive(const QString &master)
{
    // At most one box ticked: the live one's.
    m_showingLive = true;
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ui->treeMacros->topLevelItem(i);
        item->setCheckState(0, item->text(0) == master ? Qt::Checked : Qt::Unchecked);
    }
    m_showingLive = false;
}

void MainWindow::noteSaved(const QString &master, const QString &note, int code)
{
    if (QTreeWidgetItem *item = selectedItem(); item && item->text(0) == note)
        MacroTreeItems::setNoteCode(item, code);
    if (m_live.isLive(master))
        m_live.reload();
}

// No message box: a hot key another program holds is the user's to notice in the tree or the
// tray, as often as the live master macro is ticked or rebuilt.
void MainWindow::markUnavailableKeys()
{
    QTreeWidgetItem *live = masterItem(m_live.name());
    m_items->fill(live);
    m_tray->setUnavailable(
        m_marks->mark(live, m_live.codes(), m_hotKeys.unavailable(), m_hotKeys.caveat()));
}

void MainWindow::setTreeLocked(bool locked)
{
    ui->menuBar->setEnabled(!locked);
    ui->mainToolBar->setEnabled(!locked);
    ui->treeMacros->setEnabled(!locked);
    if (m_tray)
        m_tray->setMastersEnabled(!locked);
}
