#pragma once

#include <QLabel>

class QAction;
class QTreeWidget;

// What an empty tree shows a newcomer: what master macros and notes are, where to begin, and
// a link to the import of notes from another program. Hidden as soon as the tree has a row.
class FirstStartGuide final : public QLabel
{
    Q_OBJECT

public:
    // Lies over the tree's rows; `import` runs when the link is followed and must outlive this.
    FirstStartGuide(QTreeWidget *tree, QAction *import);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow();

    QTreeWidget *m_tree;
};
