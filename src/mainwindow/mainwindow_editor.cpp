// The note editor: clean and dirty states, saving with the duplicate hot-key check.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mainwindow/unavailablemarks.h"
#include "store/macrostore.h"
#include "store/storewrite.h"

#include <algorithm>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSet>
#include <QSettings>
#include <QSignalBlocker>
#include <QStyle>

namespace {

// The stored codes of every note of the master macro except the one named `skipped`, read in
// one pass over the store.
QSet<int> otherNoteCodes(const QString &master, const QString &skipped)
{
    QSet<int> codes;
    const QList<MacroStore::NoteCode> notes = MacroStore::noteCodes(master);
    for (const MacroStore::NoteCode &note : notes) {
        if (note.name != skipped)
            codes.insert(note.code);
    }
    return codes;
}

} // namespace

void MainWindow::currentMacroChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    Q_UNUSED(previous)
    if (!current)
        return;

    // Filling the key list and the text would report edits, and an edit disables the tree,
    // which throws the keyboard focus out of it; what is loaded here is no edit.
    const QSignalBlocker keyBlocker(ui->shortcutKey);
    const QSignalBlocker textBlocker(ui->macro);
    const bool isNote = current->parent() != nullptr;
    ui->shortcutCtrl->setEnabled(isNote);
    ui->shortcutAlt->setEnabled(isNote);
    ui->shortcutShift->setEnabled(isNote);
    ui->shortcutKey->setEnabled(isNote);
    ui->macro->setEnabled(isNote);

    if (isNote) {
        QSettings store;
        store.beginGroup(MacroStore::MasterMacrosGroup);
        store.beginGroup(current->parent()->text(0));
        store.beginGroup(MacroStore::MacrosGroup);
        store.beginGroup(current->text(0));
        const int code = MacroStore::readCode(store);
        ui->shortcutCtrl->setChecked(MacroStore::hasCtrl(code));
        ui->shortcutAlt->setChecked(MacroStore::hasAlt(code));
        ui->shortcutShift->setChecked(MacroStore::hasShift(code));
        ui->shortcutKey->setCurrentIndex(ui->shortcutKey->findData(
            MacroStore::keyPart(code), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
        // Plain text both ways: a note that looks like markup keeps its characters.
        ui->macro->setPlainText(MacroStore::readText(store));
    } else {
        ui->shortcutCtrl->setChecked(false);
        ui->shortcutAlt->setChecked(false);
        ui->shortcutShift->setChecked(false);
        ui->shortcutKey->setCurrentIndex(-1);
        ui->macro->setPlainText(QString());
    }

    // The editor shows the stored note, so it is clean.
    setEditorDirty(false);
    markUsedKeys(current);
}

void MainWindow::macroDirty()
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty() || !selected.first()->parent())
        return;
    setEditorDirty(true);
    markUsedKeys(selected.first());
}

bool MainWindow::updateMacro()
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty() || !selected.first()->parent())
        return true;
    QTreeWidgetItem *item = selected.first();
    QTreeWidgetItem *master = item->parent();

    const int key = ui->shortcutKey->currentIndex() >= 0
                        ? ui->shortcutKey->currentData(Qt::UserRole).toInt()
                        : 0;
    const int code =
        MacroStore::buildCode(ui->shortcutCtrl->isChecked(), ui->shortcutAlt->isChecked(),
                              ui->shortcutShift->isChecked(), key);
    // Like a duplicate: refused with the reason, and the editor stays dirty.
    if (const QString reason = UnavailableMarks::consoleKeyReason(code); !reason.isEmpty()) {
        QMessageBox::warning(this, QCoreApplication::applicationName(), reason);
        return false;
    }
    if (code != 0 && shortcutInUse(code, item)) {
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             tr("Shortcut already assigned to another Note in this Master Macro"));
        return false;
    }

    const QString notePath = StoreWrite::groupPath(master->text(0), item->text(0));
    StoreWrite write({notePath});
    write.settings().beginGroup(notePath);
    write.settings().setValue(MacroStore::ShortcutKey, code);
    write.settings().setValue(MacroStore::TextKey, ui->macro->toPlainText());
    write.settings().endGroup();
    if (!write.commit()) {
        // The edits stay in the dirty editor, so the user can try again once the disk allows.
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             tr("The Note \"%1\" was not saved: the macro store %2 cannot be "
                                "written.")
                                 .arg(item->text(0), write.fileName()));
        return false;
    }

    const QString shortcutText = MacroStore::codeText(code);
    item->setText(1, shortcutText);
    item->setToolTip(1, shortcutText);
    if (master->checkState(0) == Qt::Checked) {
        clearShortcuts();
        registerShortcuts(master->text(0));
    }
    setEditorDirty(false);
    markUsedKeys(item);
    return true;
}

void MainWindow::on_btnRevert_clicked()
{
    ui->btnUpdate->setEnabled(false);
    ui->btnRevert->setEnabled(false);
    ui->menuBar->setEnabled(true);
    ui->mainToolBar->setEnabled(true);
    ui->treeMacros->setEnabled(true);
    currentMacroChanged(ui->treeMacros->currentItem(), nullptr);
}

void MainWindow::on_btnExpand_clicked()
{
    ui->expandable->setVisible(false);
}

void MainWindow::setEditorDirty(bool dirty)
{
    ui->btnUpdate->setEnabled(dirty);
    ui->btnRevert->setEnabled(dirty);
    ui->menuBar->setEnabled(!dirty);
    ui->mainToolBar->setEnabled(!dirty);
    ui->treeMacros->setEnabled(!dirty);
}

bool MainWindow::shortcutInUse(int code, QTreeWidgetItem *note)
{
    if (!note || !note->parent())
        return false;
    const QList<MacroStore::NoteCode> notes = MacroStore::noteCodes(note->parent()->text(0));
    return std::any_of(notes.cbegin(), notes.cend(), [&](const MacroStore::NoteCode &other) {
        return other.code == code && other.name != note->text(0);
    });
}

void MainWindow::markUsedKeys(QTreeWidgetItem *note)
{
    if (!note || !note->parent())
        return;
    // Runs on every keystroke: the codes are read once here rather than once per key.
    const QSet<int> taken = otherNoteCodes(note->parent()->text(0), note->text(0));
    const bool ctrl = ui->shortcutCtrl->isChecked();
    const bool alt = ui->shortcutAlt->isChecked();
    const bool shift = ui->shortcutShift->isChecked();
    const QIcon none;
    const QIcon never = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (int i = 0; i < ui->shortcutKey->count(); ++i) {
        const int code = MacroStore::buildCode(ctrl, alt, shift,
                                               ui->shortcutKey->itemData(i, Qt::UserRole).toInt());
        // A key that can never fire is marked apart from one that is merely taken.
        const QString reason = UnavailableMarks::consoleKeyReason(code);
        ui->shortcutKey->setItemIcon(i, !reason.isEmpty()      ? never
                                        : taken.contains(code) ? m_inUseIcon
                                                               : none);
        ui->shortcutKey->setItemData(i, reason.isEmpty() ? QVariant() : QVariant(reason),
                                     Qt::ToolTipRole);
    }
}
