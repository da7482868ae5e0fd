#include "firststartguide.h"

#include <QAction>
#include <QEvent>
#include <QTreeWidget>

FirstStartGuide::FirstStartGuide(QTreeWidget *tree, QAction *import)
    : QLabel(tree->viewport()), m_tree(tree)
{
    setObjectName(QStringLiteral("firstStartGuide"));
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setMargin(12);
    setTextFormat(Qt::RichText);
    setText(tr("<p><b>Welcome to Keyquill.</b></p>"
               "<p>A <b>master macro</b> is a set of notes; a <b>note</b> is a text with a hot key "
               "of its own. Tick a master macro, and the hot keys of its notes put their texts "
               "into whatever program you are in.</p>"
               "<p>Press \"Add Master Macro\" to begin, then \"Add Note\" to give it notes.</p>"
               "<p>Notes kept in another program? <a href=\"import\">Import them</a>.</p>"));
    setAccessibleName(tr("Getting started"));
    connect(this, &QLabel::linkActivated, import, &QAction::trigger);
    tree->viewport()->installEventFilter(this);
    // Adds, deletes, imports and reloads all pass through the tree's rows.
    const QAbstractItemModel *rows = tree->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &FirstStartGuide::follow);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &FirstStartGuide::follow);
    connect(rows, &QAbstractItemModel::modelReset, this, &FirstStartGuide::follow);
    follow();
}

void FirstStartGuide::follow()
{
    const bool empty = m_tree->topLevelItemCount() == 0;
    setGeometry(m_tree->viewport()->rect());
    setVisible(empty);
    // A screen reader lists the tree's rows, not what lies over them: it says the guide for the
    // tree itself.
    m_tree->setAccessibleDescription(empty ? QLabel::text() : QString());
}

bool FirstStartGuide::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tree->viewport() && event->type() == QEvent::Resize)
        follow();
    return QLabel::eventFilter(watched, event);
}
