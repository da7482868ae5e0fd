#pragma once

#include <QHash>
#include <QIcon>
#include <QStringList>

class CheckTreeWidget;
class QFontMetricsF;

// The width resizeColumnToContents() gives a column of a CheckTreeWidget with every row there,
// worked out from the texts the rows would show, so that a column of thousands of rows is fitted
// before they are made. Each text is ranked by the sum of its characters' advances (kept per
// character), and only the widest few are laid out as the tree's delegate lays out a cell.
class ColumnFit final
{
public:
    ColumnFit(const CheckTreeWidget &tree, int column);

    // Cells alike but for their text: at tree depth `level`, with `icon` (or none) and with a
    // check box or not.
    void add(const QStringList &texts, int level, const QIcon &icon, bool checkBox);
    // The widest cell added so far; 0 for none.
    int contents() const { return m_contents; }

private:
    qreal estimate(const QString &text, const QFontMetricsF &metrics);

    const CheckTreeWidget &m_tree;
    int m_column;
    int m_contents = 0;
    QHash<char32_t, qreal> m_advances;
};
