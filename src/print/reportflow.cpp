#include "reportflow.h"

#include "print/pieceprinter.h"

#include <QTextLayout>

namespace {

// A row whose cells take longer than this to settle is left to the document layout.
constexpr int MaxRowPasses = 8;

} // namespace

ReportFlow::ReportFlow(const ReportStyle &style) : m_style(style)
{
    start();
}

ReportFlow::State ReportFlow::state() const
{
    return m_flow;
}

void ReportFlow::restore(const State &state)
{
    m_flow = state;
}

void ReportFlow::continueAt(LayoutUnits y)
{
    m_flow.y = y;
    m_flow.pageBottom = m_style.pageHeight * (floorPage(y) + 1) - m_style.bottomMargin;
}

void ReportFlow::start()
{
    m_flow.y = m_style.topMargin;
    m_flow.pageBottom = m_style.pageHeight - m_style.bottomMargin;
}

void ReportFlow::addMargin(LayoutUnits margin)
{
    m_flow.y += margin;
}

// The page a height falls on as the document layout counts: to the nearest 1/64 of a page, so
// that the last 1/128 of a page counts as the next one.
int ReportFlow::pageOf(LayoutUnits y) const
{
    return int((y / m_style.pageHeight).truncate());
}

int ReportFlow::floorPage(LayoutUnits y) const
{
    return int(y.v / m_style.pageHeight.v);
}

int ReportFlow::originPage(LayoutUnits y) const
{
    const int page = floorPage(y);
    return (page + 1) * m_style.pageHeight.toReal() < PiecePrinter::MaxSpacerHeight ? 0 : page - 1;
}

ReportFlow::Placed ReportFlow::at(QTextLayout *layout, LayoutUnits top) const
{
    Placed placed;
    placed.layout = layout;
    placed.origin = originPage(top);
    layout->setPosition(
        QPointF(m_style.left.toReal(), (top - m_style.pageHeight * placed.origin).toReal()));
    return placed;
}

// A line goes on the page it fits on, or on the next one if it would reach into the bottom
// margin (unless it is taller than a page can hold).
void ReportFlow::placeLine(QTextLine &line, const QTextBlockFormat &format, LayoutUnits frameY,
                           LayoutUnits blockTop, State &flow, LayoutUnits &bottom) const
{
    const ReportStyle::LineHeights heights = ReportStyle::lineHeights(format, line);
    const LayoutUnits pageHeight = m_style.pageHeight;
    const LayoutUnits contentHeight = pageHeight - m_style.bottomMargin - m_style.topMargin;
    while (frameY + flow.y + heights.breakHeight > flow.pageBottom &&
           contentHeight >= heights.breakHeight) {
        flow.pageBottom += pageHeight;
        flow.y = qMax(flow.y, flow.pageBottom - pageHeight + m_style.bottomMargin +
                                  m_style.topMargin - frameY);
    }
    line.setPosition(QPointF(0, (flow.y - blockTop).toReal()));
    bottom = flow.y + heights.bottom;
    flow.y += heights.advance;
}

ReportFlow::Placed ReportFlow::placeBlock(QTextLayout &layout, const ReportStyle::Block &block)
{
    const LayoutUnits top = m_flow.y;
    const Placed placed = at(&layout, top);
    QTextOption option = block.option;
    layout.setTextOption(option);
    const bool anyWrap = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;
    const LayoutUnits width = m_style.contentWidth;
    LayoutUnits bottom;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width.toReal());
        // A line wider than the page even so: once more, then broken anywhere, and the lines
        // after it at words only.
        if (LayoutUnits::fromReal(line.naturalTextWidth()) > width) {
            line.setLineWidth(width.toReal());
            if (LayoutUnits::fromReal(line.naturalTextWidth()) > width) {
                if (anyWrap) {
                    option.setWrapMode(QTextOption::WrapAnywhere);
                    layout.setTextOption(option);
                }
                line.setLineWidth(qMax(line.naturalTextWidth(), width.toReal()));
                if (anyWrap) {
                    option.setWrapMode(QTextOption::WordWrap);
                    layout.setTextOption(option);
                }
            }
        }
        placeLine(line, block.format, LayoutUnits(), top, m_flow, bottom);
    }
    m_flow.y = qMax(m_flow.y, bottom);
    layout.endLayout();
    return placed;
}

ReportFlow::Placed ReportFlow::placeRule(QTextLayout &rule)
{
    if (rule.lineCount() == 0) {
        rule.beginLayout();
        QTextLine line = rule.createLine();
        line.setLeadingIncluded(true);
        line.setLineWidth(m_style.contentWidth.toReal());
        rule.endLayout();
    }
    const LayoutUnits top = m_flow.y;
    const Placed placed = at(&rule, top);
    QTextLine line = rule.lineAt(0);
    LayoutUnits bottom;
    placeLine(line, m_style.rule.format, LayoutUnits(), top, m_flow, bottom);
    m_flow.y = qMax(m_flow.y, bottom);
    return placed;
}

// A table whose row would not start on this page starts on the next; the flow goes on below it
// on the page its end counts as.
bool ReportFlow::placeRow(Row &row)
{
    row.top = m_flow.y;
    bool placed = layOutRow(row);
    if (placed && row.rowTop + row.top > m_flow.pageBottom) {
        m_flow.pageBottom += m_style.pageHeight;
        m_flow.y = qMax(m_flow.y, m_flow.pageBottom - m_style.pageHeight + m_style.bottomMargin +
                                      m_style.topMargin);
        row.top = m_flow.y;
        placed = layOutRow(row);
    }
    if (!placed)
        return false;
    m_flow.y += row.rowTop + row.rowHeight;
    m_flow.pageBottom = m_style.pageHeight * (pageOf(m_flow.y) + 1) - m_style.bottomMargin;
    return true;
}

// The cell's lines from its top, with page breaks as the document layout makes them in a table.
LayoutUnits ReportFlow::placeCell(QTextLayout &layout, LayoutUnits frameY,
                                  LayoutUnits *firstLine) const
{
    const LayoutUnits pageHeight = m_style.pageHeight;
    const int page = pageOf(frameY);
    State cell{qMax(LayoutUnits(), pageHeight * page + m_style.topMargin - frameY),
               pageHeight * (page + 1) - m_style.bottomMargin};
    const LayoutUnits top = cell.y;
    layout.setPosition(QPointF(0, top.toReal()));
    LayoutUnits bottom;
    for (int i = 0; i < layout.lineCount(); ++i) {
        QTextLine line = layout.lineAt(i);
        placeLine(line, m_style.cell.format, frameY, top, cell, bottom);
    }
    *firstLine = LayoutUnits::fromReal(layout.position().y() + layout.lineAt(0).y());
    return qMax(cell.y, bottom);
}

// The row where the document layout puts it: on the next page when the table would begin on a
// later page than its top, or when none of its cells could begin on this one.
bool ReportFlow::layOutRow(Row &row) const
{
    const LayoutUnits pageHeight = m_style.pageHeight;
    const int tableStartPage = pageOf(row.top);
    LayoutUnits rowTop;
    bool tableDropped = false;
    for (int pass = 0; pass < MaxRowPasses; ++pass) {
        const int page = pageOf(rowTop + row.top);
        const LayoutUnits pageBottom = pageHeight * (page + 1) - m_style.bottomMargin - row.top;
        const LayoutUnits pageTop = pageHeight * page + m_style.topMargin - row.top;
        const LayoutUnits nextPageTop = pageTop + pageHeight;
        if (rowTop > pageBottom)
            rowTop = nextPageTop;
        else if (rowTop < pageTop)
            rowTop = pageTop;
        bool mayDropRow = true;
        for (int layout = 0; layout < 2; ++layout) {
            if (pageOf(rowTop + row.top) > tableStartPage && !tableDropped) {
                rowTop = nextPageTop;
                tableDropped = true;
                break;
            }
            LayoutUnits height;
            bool dropRow = mayDropRow;
            for (QTextLayout *cell : row.cells) {
                LayoutUnits firstLine;
                height = qMax(height, placeCell(*cell, row.top + rowTop, &firstLine).round());
                if (rowTop + firstLine < pageBottom)
                    dropRow = false;
            }
            if (!dropRow) {
                row.rowTop = rowTop;
                row.rowHeight = height;
                return true;
            }
            rowTop = nextPageTop;
            mayDropRow = false;
        }
    }
    return false;
}
