#include "pendingrows.h"

#include "store/macrostore.h"
#include "widgets/checktreewidget.h"
#include "widgets/columnfit.h"
#include "widgets/macrotreeitems.h"

#include <algorithm>
#include <limits>
#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <utility>

namespace {

// A slice of idle work: short enough that a click or a key waits unnoticed behind it.
constexpr qint64 SliceNs = 3'000'000;
// Rows made between looks at the clock (a fraction of a millisecond).
constexpr qsizetype RowsPerStep = 256;
// A tree this small is made whole at once.
constexpr qsizetype SmallTree = 256;

} // namespace

PendingRows::PendingRows(CheckTreeWidget *tree, const MacroTreeItems &items,
                         const MacroStore &store)
    : m_tree(tree), m_items(items), m_store(store)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, &PendingRows::fillSome);
    const QAbstractItemModel *rows = m_tree->model();
    connect(rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    forget(first, last);
            });
    connect(rows, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { forget(0, m_tree->topLevelItemCount() - 1); });
}

PendingRows::~PendingRows()
{
    for (Master &master : m_masters)
        qDeleteAll(master.rows);
}

void PendingRows::start(const QList<QTreeWidgetItem *> &masters)
{
    // Rows made before they join the tree cost no signals and no layout.
    qsizetype room = firstRows();
    for (QTreeWidgetItem *item : masters) {
        Master master;
        master.item = item;
        if (--room > 0) {
            make(master, room);
            room -= master.made;
            join(master);
        }
        if (!master.named || master.made < master.notes.size())
            m_masters.push_back(std::move(master));
    }
    m_tree->addTopLevelItems(masters);
    for (QTreeWidgetItem *item : masters) {
        if (item->childCount() > 0)
            item->setExpanded(true);
    }
    watch(true);
    if (!m_masters.empty())
        m_idle.start();
}

qsizetype PendingRows::firstRows() const
{
    // A row is never lower than a line of text, so this is a screenful at least.
    const QScreen *screen = m_tree->screen();
    const int height = screen ? screen->availableGeometry().height() : 0;
    return qMax(SmallTree, qsizetype(height / qMax(1, m_tree->fontMetrics().height())));
}

void PendingRows::make(Master &master, qsizetype count)
{
    if (!master.named) {
        master.notes = m_store.noteNames(master.item->text(0));
        master.named = true;
    }
    const qsizetype end = master.made + qMin(count, master.notes.size() - master.made);
    readCodes(master, end);
    for (; master.made < end; ++master.made)
        master.rows.append(m_items.newNoteItem(nullptr, master.notes.at(master.made),
                                               codeText(master.codes.at(master.made))));
}

void PendingRows::readCodes(Master &master, qsizetype end)
{
    const qsizetype read = master.codes.size();
    if (end > read)
        master.codes += m_store.codes(master.item->text(0), master.notes.mid(read, end - read));
}

void PendingRows::attach(Master &master)
{
    // One at a time: a row added together with others (addChildren) does not know its place, and
    // its first change (a mark) would search all its master macro's rows for it.
    for (QTreeWidgetItem *row : std::exchange(master.rows, {}))
        master.item->addChild(row);
}

void PendingRows::join(Master &master)
{
    attach(master);
    // Collapsed until now, so its rows joined without the whole tree being laid out again.
    if (master.item->treeWidget() && master.item->childCount() > 0)
        master.item->setExpanded(true);
}

void PendingRows::fillSome()
{
    QElapsedTimer slice;
    slice.start();
    while (!m_masters.empty() && slice.nsecsElapsed() < SliceNs) {
        Master &master = m_masters.front();
        make(master, RowsPerStep);
        if (master.made == master.notes.size()) {
            join(master);
            m_masters.pop_front();
        } else if (!master.item->isExpanded()) {
            // Rows join a collapsed master macro without the view laying anything out; those of
            // one on show wait for the rest, to be laid out once.
            attach(master);
        }
    }
    if (!m_masters.empty())
        m_idle.start();
    else if (m_fitted)
        watch(false);
}

void PendingRows::fill(QTreeWidgetItem *item)
{
    const auto master =
        std::find_if(m_masters.begin(), m_masters.end(),
                     [item](const Master &pending) { return pending.item == item; });
    if (master == m_masters.end())
        return;
    make(*master, std::numeric_limits<qsizetype>::max());
    join(*master);
    m_masters.erase(master);
}

void PendingRows::fillAll()
{
    while (!m_masters.empty())
        fill(m_masters.front().item);
    m_idle.stop();
    if (m_fitted)
        watch(false);
}

void PendingRows::forget(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QTreeWidgetItem *item = m_tree->topLevelItem(row);
        const auto master =
            std::find_if(m_masters.begin(), m_masters.end(),
                         [item](const Master &pending) { return pending.item == item; });
        if (master == m_masters.end())
            continue;
        qDeleteAll(master->rows);
        m_masters.erase(master);
    }
}

const QString &PendingRows::codeText(int code)
{
    auto text = m_codeTexts.constFind(code);
    if (text == m_codeTexts.constEnd())
        text = m_codeTexts.insert(code, MacroTreeItems::codeText(code));
    return *text;
}

void PendingRows::readAll()
{
    // The master macros not read at all in one pass, the others a part at a time as usual.
    QStringList unread;
    for (Master &master : m_masters) {
        if (!master.named)
            unread << master.item->text(0);
        else
            readCodes(master, master.notes.size());
    }
    const QList<MacroStore::Outline> outline = m_store.outline(unread);
    auto read = outline.cbegin();
    for (Master &master : m_masters) {
        if (master.named)
            continue;
        master.notes = read->notes;
        master.codes = read->codes;
        master.named = true;
        ++read;
    }
}

// As resizeColumnToContents() would with every row made, whether made yet or not.
void PendingRows::fitColumns()
{
    QStringList masters;
    QStringList notes;
    QSet<QString> shortcuts;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *master = m_tree->topLevelItem(i);
        masters << master->text(0);
        for (int j = 0; j < master->childCount(); ++j) {
            notes << master->child(j)->text(0);
            shortcuts.insert(master->child(j)->text(1));
        }
    }
    readAll();
    QSet<int> codes;
    for (const Master &master : m_masters) {
        notes += master.notes;
        for (int code : master.codes)
            codes.insert(code);
    }
    for (int code : std::as_const(codes))
        shortcuts.insert(codeText(code));
    ColumnFit names(*m_tree, 0);
    names.add(masters, 0, m_items.masterIcon(), true);
    names.add(notes, 1, m_items.noteIcon(), false);
    m_tree->fitColumn(0, names.contents());
    ColumnFit keys(*m_tree, 1);
    keys.add(shortcuts.values(), 1, QIcon(), false);
    m_tree->fitColumn(1, keys.contents());
}

void PendingRows::watch(bool on)
{
    for (QObject *part :
         {static_cast<QObject *>(m_tree), static_cast<QObject *>(m_tree->viewport()),
          static_cast<QObject *>(m_tree->verticalScrollBar())}) {
        if (on)
            part->installEventFilter(this);
        else
            part->removeEventFilter(this);
    }
}

bool PendingRows::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
        if (watched == m_tree && !m_fitted) {
            m_fitted = true;
            fitColumns();
            if (m_masters.empty())
                watch(false);
        }
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        // The user goes somewhere in the tree: every row must be where it is going to be.
        fillAll();
        break;
    default:
        break;
    }
    return false;
}
