// The macro tree: master macros at the top level with the in-use check box, notes below.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "store/macrostore.h"

#include <QSettings>

void MainWindow::loadMacroTree()
{
    ui->treeMacros->clear();
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    const QStringList masters = store.childGroups();
    for (const QString &master : masters) {
        QTreeWidgetItem *masterItem = addMasterMacroItem(master);
        store.beginGroup(master);
        store.beginGroup(MacroStore::MacrosGroup);
        const QStringList notes = store.childGroups();
        for (const QString &note : notes) {
            store.beginGroup(note);
            addNoteItem(masterItem, note, MacroStore::codeText(MacroStore::readCode(store)));
            store.endGroup();
        }
        store.endGroup();
        store.endGroup();
    }
    store.endGroup();

    ui->treeMacros->expandAll();
    ui->treeMacros->resizeColumnToContents(0);
    ui->treeMacros->resizeColumnToContents(1);
}

QTreeWidgetItem *MainWindow::addMasterMacroItem(const QString &name)
{
    auto *item = new CheckTreeWidgetItem(QStringList{name});
    item->setToolTip(0, name);
    // The state is set before the item joins the tree, so making it reports no change (a
    // reported change would clear the live hot keys).
    item->setCheckState(0, Qt::Unchecked);
    item->setIcon(0, m_masterMacroIcon);
    ui->treeMacros->addTopLevelItem(item);
    return item;
}

void MainWindow::addNoteItem(QTreeWidgetItem *masterItem, const QString &name,
                             const QString &shortcutText)
{
    auto *item = new CheckTreeWidgetItem(masterItem, QStringList{name, shortcutText});
    item->setToolTip(0, name);
    item->setToolTip(1, shortcutText);
    item->setIcon(0, m_noteIcon);
}

void MainWindow::macroCheckStateChanged(QTreeWidgetItem *item)
{
    if (!item || item->parent())
        return;
    clearShortcuts();
    if (item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked) {
        // Unchecking the others reports each change, so this slot runs again, nested, once per
        // item; registration must come after the walk or a nested clear would undo it.
        for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
            QTreeWidgetItem *other = ui->treeMacros->topLevelItem(i);
            if (other != item && other->data(0, Qt::CheckStateRole).toInt() == Qt::Checked)
                other->setData(0, Qt::CheckStateRole, Qt::Unchecked);
        }
        registerShortcuts(item->text(0));
    }
    ui->treeMacros->setVisible(false);
    ui->treeMacros->setVisible(true);
}
