// Add, rename and delete of master macros and notes.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "store/macrostore.h"
#include "store/storewrite.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// Note names are compared exactly, letter case included.
bool hasChildNamed(const QTreeWidgetItem *master, const QString &name)
{
    for (int i = 0; i < master->childCount(); ++i) {
        if (master->child(i)->text(0) == name)
            return true;
    }
    return false;
}

} // namespace

QString MainWindow::askNewName(const QString &title, const QString &label,
                               const std::function<bool(const QString &)> &clashes,
                               const QString &clashWarning)
{
    QString entry; // a refused name is offered again
    for (;;) {
        bool accepted = false;
        entry = QInputDialog::getText(this, title, label, QLineEdit::Normal, entry, &accepted);
        if (!accepted || entry.isEmpty())
            return QString();
        if (!MacroStore::isStorableName(entry)) {
            // The settings layer would file such a name as nested groups, and it would come
            // back after a restart as something else.
            QMessageBox::warning(this, QCoreApplication::applicationName(),
                                 tr("A name cannot contain \"/\" or \"\\\": the macro store "
                                    "uses them to separate its groups."));
        } else if (clashes(entry)) {
            QMessageBox::warning(this, QCoreApplication::applicationName(), clashWarning);
        } else {
            return entry;
        }
    }
}

void MainWindow::storeWriteFailed(const QString &what, const QString &storeFile)
{
    QMessageBox::warning(this, QCoreApplication::applicationName(),
                         tr("%1: the macro store %2 cannot be written.").arg(what, storeFile));
}

void MainWindow::addMasterMacro()
{
    const QString name = askNewName(
        tr("Add Master Macro"), tr("Enter Master Macro name"),
        [this](const QString &candidate) {
            return !ui->treeMacros->findItems(candidate, Qt::MatchFixedString, 0).isEmpty();
        },
        tr("Master Macro with that name exists"));
    if (name.isEmpty())
        return;

    const QString path = StoreWrite::groupPath(name);
    StoreWrite write({path});
    write.settings().setValue(path + QLatin1Char('/') + MacroStore::DescriptionKey, QString());
    if (!write.commit()) {
        storeWriteFailed(tr("The Master Macro \"%1\" was not added").arg(name), write.fileName());
        return;
    }
    addMasterMacroItem(name);
}

void MainWindow::addMacro()
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *master =
        selected.first()->parent() ? selected.first()->parent() : selected.first();

    const QString name = askNewName(
        tr("Add Note"), tr("Enter Note name"),
        [master](const QString &candidate) { return hasChildNamed(master, candidate); },
        tr("Note with that name exists"));
    if (name.isEmpty())
        return;

    const QString path = StoreWrite::groupPath(master->text(0), name);
    StoreWrite write({path});
    write.settings().beginGroup(path);
    write.settings().setValue(MacroStore::ShortcutKey, QString());
    write.settings().setValue(MacroStore::TextKey, QString());
    write.settings().endGroup();
    if (!write.commit()) {
        storeWriteFailed(tr("The Note \"%1\" was not added").arg(name), write.fileName());
        return;
    }
    addNoteItem(master, name, QString());
}

void MainWindow::renameMacro()
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    QTreeWidgetItem *master = item->parent();

    // The subject's own name counts as a clash too, in any letter case for a master macro.
    const QString name = askNewName(
        tr("Rename Master Macro or Note"), tr("Enter new name"),
        [this, master](const QString &candidate) {
            if (master)
                return hasChildNamed(master, candidate);
            return !ui->treeMacros->findItems(candidate, Qt::MatchFixedString, 0).isEmpty();
        },
        tr("Master Macro ot Note with that name exists"));
    if (name.isEmpty())
        return;

    const QString from = master ? StoreWrite::groupPath(master->text(0), item->text(0))
                                : StoreWrite::groupPath(item->text(0));
    const QString to =
        master ? StoreWrite::groupPath(master->text(0), name) : StoreWrite::groupPath(name);
    StoreWrite write({from, to});
    if (!master) {
        const QString description = MacroStore::DescriptionKey;
        write.settings().setValue(
            to + QLatin1Char('/') + description,
            write.settings().value(from + QLatin1Char('/') + description, QString()).toString());
    }
    write.copyGroup(from, to);
    write.settings().remove(from);
    if (!write.commit()) {
        storeWriteFailed(tr("\"%1\" was not renamed to \"%2\"").arg(item->text(0), name),
                         write.fileName());
        return;
    }
    item->setText(0, name);
    item->setToolTip(0, name);
}

void MainWindow::deleteMacro()
{
    const QList<QTreeWidgetItem *> selected = ui->treeMacros->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    QTreeWidgetItem *master = item->parent();

    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Delete selected Master Macro or Note"),
                              tr("Delete selected Master Macro or Note?"),
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;

    const QString path = master ? StoreWrite::groupPath(master->text(0), item->text(0))
                                : StoreWrite::groupPath(item->text(0));
    StoreWrite write({path});
    write.settings().remove(path);
    if (!write.commit()) {
        // Tree and hot keys stay as they are: the store still holds the item.
        storeWriteFailed(tr("\"%1\" was not deleted").arg(item->text(0)), write.fileName());
        return;
    }

    if (master) {
        if (master->checkState(0) == Qt::Checked) {
            clearShortcuts();
            registerShortcuts(master->text(0));
        }
    } else if (item->checkState(0) == Qt::Checked) {
        clearShortcuts();
    }
    delete item;
}
