#pragma once

#include "print/layoutunits.h"
#include "print/pieceprinter.h"
#include "print/reportflow.h"
#include "print/reportstyle.h"

#include <functional>
#include <memory>
#include <QColor>
#include <QString>
#include <QTextLayout>
#include <unordered_map>

class PageOutput;
class QPainter;

// Prints the report's headings and notes straight onto the pages, each where the document layout
// of the report's HTML would put it, with the same lines, glyphs and rules, but without building
// that document: a note is three text layouts (its text, hot key and name) and a few sums.
// Whatever it does not draw the way the document layout would (a character the HTML reading
// treats in a way of its own, a table too wide for the page) it hands to a PiecePrinter as a
// document of its own, which continues where the drawn content ended.
class ReportPrinter final
{
public:
    // Where a value stands in its block, which decides what becomes of white space at its start.
    enum class Start {
        Block,      // at the start of a block (a heading)
        AfterSpace, // after a space (a note's text, after its label)
        AfterText,  // after other text (a table cell, after its non-breaking space)
    };

    // `style` must be usable and outlive this.
    ReportPrinter(PageOutput &output, const ReportStyle &style);
    ~ReportPrinter();

    ReportPrinter(const ReportPrinter &) = delete;
    ReportPrinter &operator=(const ReportPrinter &) = delete;

    // A master macro's heading, its notes, and the end of its section.
    void heading(const QString &name);
    void note(const QString &name, const QString &shortcutText, const QString &text);
    void endSection();
    // Prints what is still waiting for the document layout.
    void finish();

    // A value as HTML reading turns it into a block's text: white space collapsed, a line feed a
    // line separator. False when the value holds a character it treats otherwise (one that ends
    // the block, a control character, an object marker), which is left to the document layout.
    static bool shownText(const QString &value, Start start, QString *shown);

private:
    using Placed = ReportFlow::Placed;
    using Row = ReportFlow::Row;

    bool columnWidth(QTextLayout &layout, LayoutUnits *width) const;
    void drawBlock(const Placed &block);
    void drawRule(const Placed &rule);
    void drawTable(const Row &table);
    void forEachPage(const QRectF &rect, int origin,
                     const std::function<void(QPainter *, const QRectF &)> &draw);
    void continueFromOutput();
    void updateOutputEnd();
    void printPiece(const QString &body, bool needed);
    void printPieces();
    bool continuesPiece() const;
    std::unique_ptr<QTextLayout> cellLayout(const QString &text, const ReportStyle::Block &block,
                                            const QTextCharFormat &format) const;
    static void layOutCell(QTextLayout &layout, const QString &text,
                           const ReportStyle::Block &block, const QTextCharFormat &format);
    QTextLayout *shortcutCell(const QString &shown);

    PageOutput &m_output;
    const ReportStyle &m_style;
    PiecePrinter m_pieces;
    ReportFlow m_flow;
    QColor m_ruleColor;
    bool m_started = false; // anything printed yet
    QString m_pendingPiece; // elements left to the document layout, not printed yet
    int m_pieceElements = 0;
    int m_pieceNeeded = 0; // of them, those it alone prints as they should be
    qsizetype m_minPieceSize = 0;

    // Blocks whose text never changes, laid out once; false when the table's columns for them
    // are not those of the sample page.
    std::unique_ptr<QTextLayout> m_rule, m_shortcutLabel, m_spacer, m_nameLabel;
    bool m_labelsAsSample = false;
    std::unique_ptr<QTextLayout> m_content, m_nameCell; // laid out again for each note
    std::unordered_map<QString, std::unique_ptr<QTextLayout>> m_shortcutCells;
};
