#pragma once

#include "print/layoutunits.h"
#include "print/reportstyle.h"

#include <array>

class QTextLayout;
class QTextLine;

// Where the report's blocks go down its pages, worked out as the document layout of the report's
// HTML works it out, number for number (its units, its roundings, its page breaks), so that a
// block placed here is where that layout would place it.
class ReportFlow final
{
public:
    static constexpr int Cells = 5;

    // A placed block's layout and the page its position counts from: the first, as in the one
    // document the report is; far down a long report a page nearer, as the documents printed in
    // pieces count from (which keeps the numbers in Qt's own 32-bit units small).
    struct Placed
    {
        QTextLayout *layout = nullptr;
        int origin = 0;
    };

    // A note's one-row table: its cells (laid out without a width limit) and their columns,
    // and where the row went.
    struct Row
    {
        std::array<QTextLayout *, Cells> cells{};
        std::array<LayoutUnits, Cells> x, widths;
        LayoutUnits top;    // of the table, from the top of the first page
        LayoutUnits rowTop; // of the row, in the table
        LayoutUnits rowHeight;
    };

    // Where the flow is: the height the next block begins at, and where its page ends for text.
    struct State
    {
        LayoutUnits y, pageBottom;
    };

    // `style` must outlive this.
    explicit ReportFlow(const ReportStyle &style);

    State state() const;
    void restore(const State &state);
    // Goes on at `y` (from the top of the first page) after content placed otherwise; at the
    // top of the first page when nothing was.
    void continueAt(LayoutUnits y);
    void start();
    void addMargin(LayoutUnits margin);

    // Lays the block (its text and formats set) out at the page's width where the flow is.
    Placed placeBlock(QTextLayout &layout, const ReportStyle::Block &block);
    // Places the rule, whose one empty line is laid out once.
    Placed placeRule(QTextLayout &rule);
    // Places the row's table where the flow is; false when its row does not settle.
    bool placeRow(Row &row);

    int floorPage(LayoutUnits y) const;
    int originPage(LayoutUnits y) const;

private:
    int pageOf(LayoutUnits y) const;
    Placed at(QTextLayout *layout, LayoutUnits top) const;
    void placeLine(QTextLine &line, const QTextBlockFormat &format, LayoutUnits frameY,
                   LayoutUnits blockTop, State &flow, LayoutUnits &bottom) const;
    LayoutUnits placeCell(QTextLayout &layout, LayoutUnits frameY, LayoutUnits *firstLine) const;
    bool layOutRow(Row &row) const;

    const ReportStyle &m_style;
    State m_flow;
};
