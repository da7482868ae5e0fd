#include "macrocommands.h"

#include "engine/livemaster.h"
#include "exchange/importprogressdlg.h"
#include "exchange/importsummarydlg.h"
#include "exchange/masterimporter.h"
#include "exchange/snippetfiles.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"
#include "widgets/macrotreeitems.h"

#include <algorithm>
#include <QDir>
#include <QLocale>
#include <QTreeWidget>

MacroCommands::MacroCommands(QWidget *window, QTreeWidget *tree, MacroTreeItems &items,
                             MacroStore &store, LiveMaster &live, Dialogs &dialogs)
    : m_window(window), m_tree(tree), m_items(items), m_store(store), m_live(live),
      m_dialogs(dialogs)
{
}

QTreeWidgetItem *MacroCommands::selectedItem() const
{
    const QList<QTreeWidgetItem *> selected = m_tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

// Note names are compared exactly, letter case included.
bool MacroCommands::hasNote(const QString &master, const QString &name) const
{
    const QList<MacroStore::NoteCode> notes = m_store.noteCodes(master);
    return std::any_of(notes.cbegin(), notes.cend(),
                       [&name](const MacroStore::NoteCode &note) { return note.name == name; });
}

void MacroCommands::warn(const QString &text) const
{
    m_dialogs.warning(m_window, QCoreApplication::applicationName(), text);
}

void MacroCommands::storeWriteFailed(const QString &what) const
{
    warn(tr("%1: %2.").arg(what, m_store.cannotBeWritten()));
}

void MacroCommands::addMasterMacro()
{
    const QString name = m_dialogs.askNewName(
        m_window, tr("Add Master Macro"), tr("Enter Master Macro name"),
        [this](const QString &candidate) { return m_store.hasMaster(candidate); },
        tr("Master Macro with that name exists"));
    if (name.isEmpty())
        return;
    // Every row in place first: the new one is scrolled to and must stay in view.
    m_items.fillAll();
    if (!m_store.addMaster(name))
        return storeWriteFailed(tr("The Master Macro \"%1\" was not added").arg(name));
    // Selected, so that "Add Note" and the keyboard act on it next.
    m_tree->setCurrentItem(m_items.addMaster(name));
}

void MacroCommands::addNote()
{
    QTreeWidgetItem *master = selectedItem();
    if (!master) {
        // A note belongs under a master macro; without one chosen nothing happens, so say why.
        warn(m_tree->topLevelItemCount() == 0
                 ? tr("A Note belongs to a Master Macro, and there is none yet: add one with "
                      "\"Add Master Macro\" first.")
                 : tr("Select the Master Macro the new Note belongs to (or one of its Notes) "
                      "first."));
        return;
    }
    if (master->parent())
        master = master->parent();
    // Its other rows first, as the store holds them before the new one.
    m_items.fill(master);
    const QString masterName = master->text(0);
    const QString name = m_dialogs.askNewName(
        m_window, tr("Add Note"), tr("Enter Note name"),
        [&](const QString &candidate) { return hasNote(masterName, candidate); },
        tr("Note with that name exists"));
    if (name.isEmpty())
        return;
    if (!m_store.addNote(masterName, name))
        return storeWriteFailed(tr("The Note \"%1\" was not added").arg(name));
    m_items.addNote(master, name, 0);
}

bool MacroCommands::rename()
{
    QTreeWidgetItem *item = selectedItem();
    if (!item)
        return false;
    QTreeWidgetItem *masterItem = item->parent();
    const QString master = masterItem ? masterItem->text(0) : item->text(0);
    const QString note = masterItem ? item->text(0) : QString();
    // The subject's own name counts as a clash too, in any letter case for a master macro.
    const QString name = m_dialogs.askNewName(
        m_window, tr("Rename Master Macro or Note"), tr("Enter new name"),
        [&](const QString &candidate) {
            return masterItem ? hasNote(master, candidate) : m_store.hasMaster(candidate);
        },
        tr("Master Macro ot Note with that name exists"));
    if (name.isEmpty())
        return false;
    if (!m_store.rename(master, note, name)) {
        storeWriteFailed(tr("\"%1\" was not renamed to \"%2\"").arg(item->text(0), name));
        return false;
    }
    item->setText(0, name);
    item->setToolTip(0, name);
    if (!masterItem)
        m_live.renamed(master, name);
    return true;
}

void MacroCommands::remove()
{
    QTreeWidgetItem *item = selectedItem();
    if (!item)
        return;
    if (!m_dialogs.question(m_window, tr("Delete selected Master Macro or Note"),
                            tr("Delete selected Master Macro or Note?")))
        return;
    QTreeWidgetItem *masterItem = item->parent();
    const QString master = masterItem ? masterItem->text(0) : item->text(0);
    if (!m_store.remove(master, masterItem ? item->text(0) : QString())) {
        // Tree and hot keys stay as they are: the store still holds the item.
        return storeWriteFailed(tr("\"%1\" was not deleted").arg(item->text(0)));
    }
    if (masterItem && m_live.isLive(master))
        m_live.reload();
    else if (!masterItem)
        m_live.removed(master);
    delete item;
}

void MacroCommands::import()
{
    const QString caption = tr("Import Master Macro");
    const QString path = m_dialogs.openFileName(m_window, caption, SnippetFiles::filter());
    if (path.isEmpty())
        return;
    MasterMacroImporter importer(m_store, [this, caption](const QString &candidate) {
        QString name = candidate;
        const QString label =
            tr("Master Macro with name \"%1\" exists. Enter new Master Macro name").arg(candidate);
        return m_dialogs.getText(m_window, caption, label, &name) ? name : QString();
    });
    const QString file = QDir::toNativeSeparators(path);
    // Read in a worker thread, so that a large file leaves the window live; Cancel ends the
    // import there, before anything is written.
    const bool snippets = SnippetFiles::isSnippetFile(path);
    ImportBatch batch;
    QList<MacroStore::Master> masters;
    MasterMacroImporter::Outcome outcome = MasterMacroImporter::Outcome::Finished;
    const auto reading = [&](ImportBatch &read) {
        if (snippets)
            SnippetFiles::read(path, read);
        else
            outcome = MasterMacroImporter::read(path, &masters);
    };
    if (!ImportProgressDlg::run(file, reading, m_window, &batch))
        return;
    if (snippets) {
        // Shown before anything is written; a broken file writes nothing.
        const ImportSummary summary = batch.summary();
        if (summary.failed())
            return warn(summary.errorLine > 0
                            ? tr("The file \"%1\" could not be imported; reading stopped at line "
                                 "%2: %3 Nothing was imported.")
                                  .arg(file)
                                  .arg(summary.errorLine)
                                  .arg(summary.error)
                            : tr("The file \"%1\" could not be imported: %2 Nothing was imported.")
                                  .arg(file, summary.error));
        if (ImportSummaryDlg(file, batch, m_window).exec() != QDialog::Accepted)
            return;
        masters = batch.masters();
    }
    if (outcome == MasterMacroImporter::Outcome::Finished) {
        m_items.fillAll();
        outcome = importer.save(masters);
    }
    switch (outcome) {
    case MasterMacroImporter::Outcome::Unreadable:
        return warn(tr("The file \"%1\" could not be read as a Master Macro file.").arg(file));
    case MasterMacroImporter::Outcome::TooLarge:
        return warn(
            tr("The file \"%1\" is larger than %2, the most Keyquill imports at once.")
                .arg(file, QLocale().formattedDataSize(ImportBatch::Limits().fileBytes, 0)));
    case MasterMacroImporter::Outcome::NotSaved:
        return storeWriteFailed(tr("The Master Macros of \"%1\" were not imported").arg(file));
    case MasterMacroImporter::Outcome::Finished:
    case MasterMacroImporter::Outcome::Stopped:
        break;
    }
    const QList<MacroStore::Master> imported = importer.imported();
    for (const MacroStore::Master &master : imported) {
        QTreeWidgetItem *masterItem = m_items.addMaster(master.name);
        for (const MacroStore::Note &note : master.notes)
            m_items.addNote(masterItem, note.name, note.code);
    }
}
