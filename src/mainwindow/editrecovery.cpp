#include "editrecovery.h"

#include "editor/noteeditor.h"
#include "mainwindow/unsavededit.h"
#include "store/macrostore.h"
#include "widgets/checktreewidget.h"
#include "widgets/dialogs.h"
#include "widgets/macrotreeitems.h"
#include "widgets/treerefresh.h"

#include <QDir>

EditRecovery::EditRecovery(NoteEditor &editor, CheckTreeWidget *tree, MacroTreeItems &items,
                           MacroStore &store, Dialogs &dialogs)
    : m_editor(editor), m_tree(tree), m_items(items), m_store(store), m_dialogs(dialogs)
{
}

bool EditRecovery::settle(QWidget *window)
{
    if (!m_editor.isDirty())
        return true;
    const int answer =
        m_dialogs.choice(window, QCoreApplication::applicationName(),
                         tr("The Note \"%1\" in \"%2\" has changes that are not saved.")
                             .arg(m_editor.note(), m_editor.master()),
                         {tr("Save"), tr("Discard")});
    if (answer < 0 || (answer == 0 && !m_editor.save()))
        return false;
    if (answer == 1)
        m_editor.revert();
    return true;
}

void EditRecovery::keep()
{
    if (m_editor.isDirty() &&
        !UnsavedEdit{m_editor.master(), m_editor.note(), m_editor.code(), m_editor.text()}.keep())
        qWarning("Keyquill: the unsaved changes to the Note \"%s\" could not be kept in %s",
                 qPrintable(m_editor.note()), qPrintable(UnsavedEdit::fileName()));
}

void EditRecovery::offerKept(const std::function<void(std::function<void()>)> &show)
{
    bool damaged = false;
    if (const std::optional<UnsavedEdit> kept = UnsavedEdit::read(&damaged))
        show([this, edit = *kept] { offer(edit); });
    else if (damaged)
        show([this] {
            warn(tr("Changes to a Note that were not saved when Keyquill was last ended were "
                    "kept in %1, but that file cannot be read.")
                     .arg(QDir::toNativeSeparators(UnsavedEdit::fileName())));
        });
}

void EditRecovery::offer(const UnsavedEdit &edit)
{
    // Taken up in the editor, which holds one note's edits at a time: else asked at the next start.
    if (m_editor.isDirty())
        return;
    const int answer = m_dialogs.choice(
        m_tree->window(), QCoreApplication::applicationName(),
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
            warn(
                tr("The Note \"%1\" was not saved: %2.").arg(edit.note, m_store.cannotBeWritten()));
            return;
        }
        TreeRefresh::apply(m_tree, m_items, m_store);
    }
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = m_tree->topLevelItem(i);
        if (master->text(0) != edit.master)
            continue;
        m_items.fill(master);
        for (int j = 0; j < master->childCount(); ++j) {
            if (master->child(j)->text(0) == edit.note)
                m_tree->setCurrentItem(master->child(j));
        }
    }
    if (m_editor.master() != edit.master || m_editor.note() != edit.note)
        return; // the file stays for the next start
    m_editor.edit(edit.code, edit.text);
    UnsavedEdit::forget();
}

void EditRecovery::warn(const QString &text)
{
    m_dialogs.warning(m_tree->window(), QCoreApplication::applicationName(), text);
}
