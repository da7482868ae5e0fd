#include "treerefresh.h"

#include "store/macrostore.h"
#include "widgets/macrotreeitems.h"

#include <QHash>
#include <QSet>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace {

class CodeTexts final
{
public:
    const QString &text(int code)
    {
        auto it = m_texts.constFind(code);
        if (it == m_texts.constEnd())
            it = m_texts.insert(code, MacroTreeItems::codeText(code));
        return *it;
    }

private:
    QHash<int, QString> m_texts;
};

void refreshNotes(const MacroTreeItems &items, QTreeWidgetItem *master,
                  const MacroStore::Outline &outline, CodeTexts &texts)
{
    bool sameNames = master->childCount() == outline.notes.size();
    for (int i = 0; sameNames && i < master->childCount(); ++i)
        sameNames = master->child(i)->text(0) == outline.notes.at(i);
    if (sameNames) {
        for (int i = 0; i < master->childCount(); ++i) {
            if (master->child(i)->text(1) != texts.text(outline.codes.at(i)))
                MacroTreeItems::setNoteCode(master->child(i), outline.codes.at(i));
        }
        return;
    }
    QHash<QString, QTreeWidgetItem *> kept;
    const QList<QTreeWidgetItem *> old = master->takeChildren();
    for (QTreeWidgetItem *row : old)
        kept.insert(row->text(0), row);
    for (int i = 0; i < outline.notes.size(); ++i) {
        const QString &name = outline.notes.at(i);
        const QString &text = texts.text(outline.codes.at(i));
        QTreeWidgetItem *row = kept.take(name);
        if (!row)
            row = items.newNoteItem(nullptr, name, text);
        else if (row->text(1) != text)
            MacroTreeItems::setNoteCode(row, outline.codes.at(i));
        // One at a time, so that each row knows its place (see PendingRows).
        master->addChild(row);
    }
    qDeleteAll(kept);
}

} // namespace

void TreeRefresh::apply(QTreeWidget *tree, MacroTreeItems &items, const MacroStore &store)
{
    items.fillAll();
    const QSignalBlocker quiet(tree);
    // What the user looks at, by name: rows taken out and put back lose both.
    const QTreeWidgetItem *current = tree->currentItem();
    const QString currentMaster =
        current ? (current->parent() ? current->parent() : current)->text(0) : QString();
    const QString currentNote = current && current->parent() ? current->text(0) : QString();
    QSet<QString> expanded;
    QHash<QString, QTreeWidgetItem *> rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = tree->topLevelItem(i);
        rows.insert(row->text(0), row);
        if (row->isExpanded())
            expanded.insert(row->text(0));
    }

    const QList<MacroStore::Outline> outline = store.outline(store.masters());
    QSet<QString> present;
    for (const MacroStore::Outline &master : outline)
        present.insert(master.name);
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) {
        if (!present.contains(tree->topLevelItem(i)->text(0)))
            delete rows.take(tree->takeTopLevelItem(i)->text(0));
    }
    CodeTexts texts;
    for (int i = 0; i < outline.size(); ++i) {
        const MacroStore::Outline &master = outline.at(i);
        QTreeWidgetItem *row = rows.value(master.name);
        if (!row) {
            row = items.newMasterItem(master.name);
            row->setCheckState(0, Qt::Unchecked);
            // A new master macro shows its notes, as at start.
            expanded.insert(master.name);
            tree->insertTopLevelItem(i, row);
        } else if (tree->topLevelItem(i) != row) {
            tree->insertTopLevelItem(i, tree->takeTopLevelItem(tree->indexOfTopLevelItem(row)));
        }
        refreshNotes(items, row, master, texts);
    }

    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = tree->topLevelItem(i);
        if (expanded.contains(row->text(0)) && row->childCount() > 0)
            row->setExpanded(true);
        if (row->text(0) != currentMaster)
            continue;
        QTreeWidgetItem *now = row;
        for (int j = 0; !currentNote.isEmpty() && j < row->childCount(); ++j) {
            if (row->child(j)->text(0) == currentNote)
                now = row->child(j);
        }
        tree->setCurrentItem(now);
    }
}
