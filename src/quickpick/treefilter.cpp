#include "treefilter.h"

#include "store/storesnapshot.h"
#include "widgets/checktreewidget.h"
#include "widgets/macrotreeitems.h"

#include <algorithm>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSplitter>
#include <QVBoxLayout>
#include <utility>

TreeFilter::TreeFilter(CheckTreeWidget *tree, MacroTreeItems &items, const MacroStore &store)
    : QObject(tree), m_tree(tree), m_items(items), m_store(store), m_field(new QLineEdit)
{
    m_field->setObjectName(QStringLiteral("treeFilter"));
    m_field->setPlaceholderText(tr("Filter: words of a note's name, master macro or text"));
    m_field->setClearButtonEnabled(true);
    m_field->hide();
    m_field->installEventFilter(this);
    // The tree and the field share the tree's place, so the form looks as before while hidden.
    if (auto *splitter = qobject_cast<QSplitter *>(tree->parentWidget())) {
        auto *column = new QWidget;
        auto *layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        splitter->replaceWidget(splitter->indexOf(tree), column);
        layout->addWidget(m_field);
        layout->addWidget(tree);
    }
    connect(m_field, &QLineEdit::textChanged, this, &TreeFilter::apply);
}

void TreeFilter::start()
{
    if (!m_tree->isEnabled())
        return; // unsaved edits hold the tree
    m_field->show();
    m_field->setFocus();
    m_field->selectAll();
}

void TreeFilter::stop()
{
    m_field->clear();
    m_field->hide();
    m_tree->setFocus();
}

bool TreeFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        stop();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TreeFilter::apply(const QString &query)
{
    const QStringList words = NoteMatcher::words(query);
    if (words.isEmpty()) {
        showAll();
        return;
    }
    if (!m_filtering) {
        m_filtering = true;
        m_items.fillAll(); // rows not made yet could not be hidden or shown
        m_expanded.clear();
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            m_expanded.insert(m_tree->topLevelItem(i), m_tree->topLevelItem(i)->isExpanded());
    }
    // The texts are read and folded again only after a change of the store.
    m_read = m_store.snapshot();
    const NoteMatcher &matcher = m_read->matcher();
    QSet<QString> found;
    for (int entry : matcher.match(query))
        found.insert(NoteMatcher::key(matcher.entry(entry).master, matcher.entry(entry).note));
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = m_tree->topLevelItem(i);
        bool any = false;
        for (int j = 0; j < master->childCount(); ++j) {
            QTreeWidgetItem *note = master->child(j);
            const bool shown = found.contains(NoteMatcher::key(master->text(0), note->text(0)));
            note->setHidden(!shown);
            any = any || shown;
        }
        // A master macro without notes shows when its own name holds every word.
        const QString name = NoteMatcher::fold(master->text(0));
        bool start = false;
        any = any || (master->childCount() == 0 &&
                      std::all_of(words.cbegin(), words.cend(), [&](const QString &word) {
                          return NoteMatcher::occurs(name, word, &start);
                      }));
        master->setHidden(!any);
        if (any)
            master->setExpanded(true);
    }
}

void TreeFilter::showAll()
{
    if (!std::exchange(m_filtering, false))
        return;
    m_read.reset();
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = m_tree->topLevelItem(i);
        master->setHidden(false);
        for (int j = 0; j < master->childCount(); ++j)
            master->child(j)->setHidden(false);
        // A master macro added meanwhile keeps what it has.
        const auto was = m_expanded.constFind(master);
        if (was != m_expanded.cend())
            master->setExpanded(*was);
    }
    m_expanded.clear();
    if (QTreeWidgetItem *current = m_tree->currentItem())
        m_tree->scrollToItem(current);
}
