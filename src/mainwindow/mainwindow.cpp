#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "editor/noteeditor.h"
#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "mainwindow/editrecovery.h"
#include "mainwindow/filecommands.h"
#include "mainwindow/macrocommands.h"
#include "mainwindow/storefollower.h"
#include "mainwindow/unavailablemarks.h"
#include "mainwindow/windowmenus.h"
#include "quickpick/treefilter.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"
#include "widgets/headingsize.h"
#include "widgets/macrotreeitems.h"

#include <QCloseEvent>
#include <QDesktopServices>

MainWindow::MainWindow(MacroStore &store, LiveMaster &live, KeyRegistration &keys, Dialogs *dialogs,
                       QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>()),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<Dialogs>()),
      m_dialogs(dialogs ? *dialogs : *m_ownDialogs), m_store(store), m_live(live), m_keys(keys)
{
    ui->setupUi(this);
    m_items = std::make_unique<MacroTreeItems>(ui->treeMacros);
    m_marks = std::make_unique<UnavailableMarks>(ui->treeMacros);
    m_commands =
        std::make_unique<MacroCommands>(this, ui->treeMacros, *m_items, m_store, m_live, m_dialogs);
    m_recovery =
        std::make_unique<EditRecovery>(editor(), ui->treeMacros, *m_items, m_store, m_dialogs);
    editor().attach(m_store, m_dialogs);
    connect(&editor(), &NoteEditor::dirtyChanged, this, &MainWindow::setTreeLocked);
    connect(&editor(), &NoteEditor::saved, this, &MainWindow::noteSaved);
    connect(ui->treeMacros, &QTreeWidget::currentItemChanged, this,
            &MainWindow::currentMacroChanged);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &MainWindow::macroCheckStateChanged);
    connect(&m_live, &LiveMaster::liveChanged, this, &MainWindow::showLive);
    connect(&m_keys, &KeyRegistration::unavailableChanged, this, &MainWindow::markUnavailableKeys);
    // What holds for every hot key of the session is shown on each live note.
    if (!m_keys.caveat().isEmpty())
        connect(&m_keys, &KeyRegistration::changed, this, &MainWindow::markUnavailableKeys);
    connect(&m_live, &LiveMaster::rememberFailed, this, [this] {
        if (!std::exchange(m_toldRemember, true))
            m_commands->warn(
                tr("The live Master Macro cannot be kept for the next start: the settings file "
                   "%1 cannot be written.")
                    .arg(m_store.fileName()));
    });
    // Adds, renames, deletes, imports and reloads all pass through the tree's rows.
    const QAbstractItemModel *rows = ui->treeMacros->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &MainWindow::mastersChanged);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &MainWindow::mastersChanged);
    connect(rows, &QAbstractItemModel::rowsMoved, this, &MainWindow::mastersChanged);
    connect(rows, &QAbstractItemModel::modelReset, this, &MainWindow::mastersChanged);
    connect(rows, &QAbstractItemModel::dataChanged, this, &MainWindow::mastersChanged);
    // Links in the panel leave through the system; the panel itself never navigates.
    connect(ui->ads, &QTextBrowser::anchorClicked, this, &QDesktopServices::openUrl);
    // Qt's HTML import gives h1 a fixed size step that overrides the page's own "h1 {
    // font-size: 12px }", which made the headings larger than everything else in the panel.
    setHeadingPixelSize(ui->ads->document(), 1, 12);

    m_files = std::make_unique<FileCommands>(this, ui->treeMacros, m_store, m_dialogs);
    m_quitAction = WindowMenus::build(*this, {ui->treeMacros, ui->menuBar, ui->mainToolBar},
                                      {m_commands.get(), m_files.get(), m_items.get(), [this] {
                                           currentMacroChanged(ui->treeMacros->currentItem());
                                       }});
    m_items->load(m_store);
    new TreeFilter(ui->treeMacros, *m_items, m_store); // Ctrl+F
    // The filter moved the tree to a place of its own in the form, and so to the end of the tab
    // order: the keyboard starts in the tree again and goes on into the editor.
    QWidget::setTabOrder(ui->treeMacros, &editor());
    ui->treeMacros->setFocus();
    m_follower =
        new StoreFollower(this, ui->treeMacros, *m_items, m_store, m_live, editor(), m_dialogs);
}

MainWindow::~MainWindow()
{
    // The tree empties itself as it goes: nothing of the window may follow it meanwhile.
    disconnect(ui->treeMacros, nullptr, this, nullptr);
    disconnect(ui->treeMacros->model(), nullptr, this, nullptr);
    m_live.disconnect(this);
    m_keys.disconnect(this);
}

NoteEditor &MainWindow::editor()
{
    return *ui->layoutWidget;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_hidesOnClose) {
        event->ignore();
        Q_EMIT closeRequested();
    }
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Hot keys another program let go of meanwhile are taken when the user comes to look.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_keys.retryUnavailable();
}

void MainWindow::quit()
{
    if (!m_recovery->settle(this))
        return;
    // Quits whatever refuses to close: every window of a program in the tray does.
    QCoreApplication::exit(0);
}

void MainWindow::on_btnExpand_clicked()
{
    ui->expandable->setVisible(false);
}

QStringList MainWindow::masterNames() const
{
    QStringList names;
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i)
        names << ui->treeMacros->topLevelItem(i)->text(0);
    return names;
}

QTreeWidgetItem *MainWindow::masterItem(const QString &name) const
{
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        if (ui->treeMacros->topLevelItem(i)->text(0) == name)
            return ui->treeMacros->topLevelItem(i);
    }
    return nullptr;
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
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (!selected.isEmpty() && selected.first()->text(0) == note)
        MacroTreeItems::setNoteCode(selected.first(), code);
    if (m_live.isLive(master))
        m_live.reload();
}

// No message box: a hot key another program holds is the user's to notice in the tree or the
// tray, as often as the live master macro is ticked or rebuilt.
void MainWindow::markUnavailableKeys()
{
    QTreeWidgetItem *live = masterItem(m_live.name());
    m_items->fill(live);
    Q_EMIT unavailableCounted(
        m_marks->mark(live, m_live.codes(), m_keys.unavailable(), m_keys.caveat()));
}

void MainWindow::setTreeLocked(bool locked)
{
    ui->menuBar->setEnabled(!locked);
    ui->mainToolBar->setEnabled(!locked);
    ui->treeMacros->setEnabled(!locked);
    Q_EMIT treeLocked(locked);
}
