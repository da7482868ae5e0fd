#include "macrotreeitems.h"

#include "store/macrostore.h"
#include "widgets/checktreewidget.h"
#include "widgets/pendingrows.h"

#include <QKeySequence>

MacroTreeItems::MacroTreeItems(CheckTreeWidget *tree)
    : m_tree(tree), m_masterIcon(QStringLiteral(":/images/icon_master_macro.png")),
      m_noteIcon(QStringLiteral(":/images/icon_macro.png"))
{
    // Every row has the same height: the view need not ask each of thousands of rows.
    m_tree->setUniformRowHeights(true);
}

MacroTreeItems::~MacroTreeItems() = default;

void MacroTreeItems::load(const MacroStore &store)
{
    m_pending.reset();
    m_tree->clear();
    const QStringList names = store.masters();
    QList<QTreeWidgetItem *> masters;
    masters.reserve(names.size());
    for (const QString &name : names) {
        QTreeWidgetItem *master = newMasterItem(name);
        master->setCheckState(0, Qt::Unchecked);
        masters.append(master);
    }
    m_pending = std::make_unique<PendingRows>(m_tree, *this, store);
    m_pending->start(masters);
}

void MacroTreeItems::fill(QTreeWidgetItem *master)
{
    if (m_pending && master)
        m_pending->fill(master);
}

void MacroTreeItems::fillAll()
{
    if (m_pending)
        m_pending->fillAll();
}

QString MacroTreeItems::codeText(int code)
{
    if (code == 0)
        return QString();
    return QKeySequence(code, 0, 0, 0).toString(QKeySequence::NativeText);
}

QTreeWidgetItem *MacroTreeItems::newMasterItem(const QString &name) const
{
    auto *item = new CheckTreeWidgetItem(QStringList{name});
    item->setToolTip(0, name);
    item->setIcon(0, m_masterIcon);
    return item;
}

QTreeWidgetItem *MacroTreeItems::newNoteItem(QTreeWidgetItem *master, const QString &name,
                                             const QString &shortcutText) const
{
    auto *item = new CheckTreeWidgetItem(master, QStringList{name, shortcutText});
    item->setToolTip(0, name);
    item->setToolTip(1, shortcutText);
    item->setIcon(0, m_noteIcon);
    return item;
}

QTreeWidgetItem *MacroTreeItems::addMaster(const QString &name)
{
    QTreeWidgetItem *item = newMasterItem(name);
    // The state is set before the item joins the tree, so making it reports no change.
    item->setCheckState(0, Qt::Unchecked);
    m_tree->addTopLevelItem(item);
    return item;
}

void MacroTreeItems::addNote(QTreeWidgetItem *master, const QString &name, int code)
{
    newNoteItem(master, name, codeText(code));
}

void MacroTreeItems::setNoteCode(QTreeWidgetItem *note, int code)
{
    const QString shortcutText = codeText(code);
    note->setText(1, shortcutText);
    note->setToolTip(1, shortcutText);
}
