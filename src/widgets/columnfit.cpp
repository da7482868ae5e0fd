#include "columnfit.h"

#include "widgets/checktreewidget.h"

#include <algorithm>
#include <functional>
#include <QFontMetricsF>
#include <QStandardItemModel>
#include <utility>

namespace {

// Texts laid out for real: those whose estimate comes within a character of the widest, at most
// this many. Kerning and shaping move a text's width by far less than a character.
constexpr qsizetype MostMeasured = 32;

} // namespace

ColumnFit::ColumnFit(const CheckTreeWidget &tree, int column) : m_tree(tree), m_column(column) {}

qreal ColumnFit::estimate(const QString &text, const QFontMetricsF &metrics)
{
    qreal width = 0;
    for (qsizetype at = 0; at < text.size();) {
        const bool pair = text.at(at).isHighSurrogate() && at + 1 < text.size() &&
                          text.at(at + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const char32_t point =
            pair ? QChar::surrogateToUcs4(text.at(at), text.at(at + 1)) : text.at(at).unicode();
        auto advance = m_advances.constFind(point);
        if (advance == m_advances.constEnd())
            advance = m_advances.insert(point, metrics.horizontalAdvance(text.mid(at, length)));
        width += *advance;
        at += length;
    }
    return width;
}

void ColumnFit::add(const QStringList &texts, int level, const QIcon &icon, bool checkBox)
{
    if (texts.isEmpty())
        return;
    const QFontMetricsF metrics(m_tree.font());
    QList<std::pair<qreal, qsizetype>> ranked;
    ranked.reserve(texts.size());
    qreal widest = 0;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        ranked.append({estimate(texts.at(i), metrics), i});
        widest = qMax(widest, ranked.last().first);
    }
    const qreal slack = metrics.averageCharWidth();
    const auto near = std::partition(ranked.begin(), ranked.end(), [&](const auto &text) {
        return text.first >= widest - slack;
    });
    const auto measured = ranked.begin() + qMin(MostMeasured, near - ranked.begin());
    std::partial_sort(ranked.begin(), measured, near, std::greater<>());

    // A cell of another model, made as the tree's own rows are, asks the tree's delegate.
    QStandardItemModel probe(1, m_column + 1);
    auto *cell = new QStandardItem;
    if (!icon.isNull())
        cell->setIcon(icon);
    if (checkBox)
        cell->setData(Qt::Unchecked, Qt::CheckStateRole);
    probe.setItem(0, m_column, cell);
    for (auto text = ranked.begin(); text != measured; ++text) {
        cell->setText(texts.at(text->second));
        m_contents = qMax(m_contents, m_tree.cellWidth(probe.index(0, m_column), level));
    }
}
