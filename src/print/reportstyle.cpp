#include "reportstyle.h"

#include "print/report.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintDevice>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace {

// The blocks of the sample page, in order: two master macros, the second with one note.
enum SampleBlock { HeadingA, RuleA, HeadingB, RuleB, Content, AfterTable, RuleC, SampleBlocks };

// The height a block's only line takes, from its top, as the document layout adds it up.
LayoutUnits singleLineAdvance(const QTextBlock &block)
{
    const QTextLayout *layout = block.layout();
    const QTextLine line = layout->lineAt(0);
    const ReportStyle::LineHeights heights = ReportStyle::lineHeights(block.blockFormat(), line);
    return qMax(heights.advance, heights.bottom) + LayoutUnits::fromReal(line.y());
}

LayoutUnits top(const QTextBlock &block)
{
    return LayoutUnits::fromReal(block.layout()->position().y());
}

QTextCharFormat fragmentFormat(const QTextBlock &block, int index)
{
    QTextBlock::iterator it = block.begin();
    for (int i = 0; i < index && !it.atEnd(); ++i)
        ++it;
    QTextCharFormat format = it.atEnd() ? QTextCharFormat() : it.fragment().charFormat();
    format.setFont(format.font().resolve(block.document()->defaultFont()));
    return format;
}

ReportStyle::Block blockStyle(const QTextBlock &block)
{
    return {block.layout()->textOption(), block.blockFormat(),
            block.charFormat().font().resolve(block.document()->defaultFont())};
}

bool isPlainBlock(const QTextBlockFormat &format)
{
    return format.leftMargin() == 0 && format.rightMargin() == 0 && format.textIndent() == 0 &&
           format.indent() == 0 && !format.nonBreakableLines() &&
           format.pageBreakPolicy() == QTextFormat::PageBreak_Auto &&
           (format.lineHeightType() == QTextBlockFormat::SingleHeight ||
            format.lineHeightType() == QTextBlockFormat::ProportionalHeight);
}

// The table of the sample's note: one row of five cells, without borders, spacing or padding,
// the middle column of a fixed width.
bool isPlainTable(const QTextTable *table)
{
    const QTextTableFormat format = table->format();
    const QList<QTextLength> widths = format.columnWidthConstraints();
    if (table->rows() != 1 || table->columns() != 5 || widths.size() != 5 || format.border() != 0 ||
        format.cellSpacing() != 0 || format.cellPadding() != 0 || format.padding() != 0 ||
        format.margin() != 0 || format.topMargin() != 0 || format.bottomMargin() != 0 ||
        format.leftMargin() != 0 || format.rightMargin() != 0 || format.headerRowCount() != 0 ||
        format.borderCollapse() ||
        (format.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignLeft) != 0 ||
        format.width().type() != QTextLength::VariableLength ||
        format.pageBreakPolicy() != QTextFormat::PageBreak_Auto)
        return false;
    for (int column = 0; column < 5; ++column) {
        const QTextLength::Type expected =
            column == 2 ? QTextLength::FixedLength : QTextLength::VariableLength;
        const QTextTableCellFormat cell = table->cellAt(0, column).format().toTableCellFormat();
        if (widths.at(column).type() != expected ||
            cell.hasProperty(QTextFormat::TableCellTopPadding) ||
            cell.hasProperty(QTextFormat::TableCellBottomPadding) ||
            cell.hasProperty(QTextFormat::TableCellLeftPadding) ||
            cell.hasProperty(QTextFormat::TableCellRightPadding) ||
            cell.verticalAlignment() != QTextCharFormat::AlignNormal ||
            cell.background().style() != Qt::NoBrush ||
            table->cellAt(0, column).firstCursorPosition().block() !=
                table->cellAt(0, column).lastCursorPosition().block())
            return false;
    }
    return true;
}

} // namespace

ReportStyle::LineHeights ReportStyle::lineHeights(const QTextBlockFormat &format,
                                                  const QTextLine &line)
{
    // Single or proportional line heights only, which need no scaling to the device.
    const qreal height = line.height();
    const qreal raw = qCeil(line.ascent() + line.descent() + line.leading());
    LineHeights heights;
    heights.advance = LayoutUnits::fromReal(format.lineHeight(raw, 1));
    heights.bottom = LayoutUnits::fromReal(format.lineHeight(height, 1));
    heights.breakHeight = LayoutUnits::fromReal(height);
    return heights;
}

ReportStyle ReportStyle::read(QPaintDevice *device)
{
    ReportStyle style;
    QTextDocument sample;
    Report::setPage(&sample,
                    Report::page(Report::masterMacroSection(QStringLiteral("A"), {}) +
                                 Report::masterMacroSection(
                                     QStringLiteral("B"),
                                     Report::noteBlock(QStringLiteral("N"), QStringLiteral("S"),
                                                       QStringLiteral("T")))));
    sample.documentLayout()->setPaintDevice(device);
    sample.setPageSize(QSizeF(device->width(), device->height()));
    const qreal documentHeight = sample.documentLayout()->documentSize().height();

    QList<QTextBlock> blocks;
    QTextTable *table = nullptr;
    for (QTextFrame::iterator it = sample.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (it.currentFrame())
            table = qobject_cast<QTextTable *>(it.currentFrame());
        else
            blocks.append(it.currentBlock());
    }
    if (blocks.size() != SampleBlocks || !table || !isPlainTable(table))
        return style;
    for (const QTextBlock &block : std::as_const(blocks)) {
        if (!isPlainBlock(block.blockFormat()) || block.layout()->lineCount() != 1)
            return style;
    }
    QList<QTextBlock> cells;
    for (int column = 0; column < 5; ++column)
        cells.append(table->cellAt(0, column).firstCursorPosition().block());
    const QTextBlock content = blocks.at(Content);
    if (blocks.at(HeadingA).text() != QLatin1String("A") ||
        content.text() != QLatin1String("Content: T") ||
        cells.at(0).text() != QLatin1String("Shortuct:") ||
        cells.at(3).text() != QLatin1String("Note name:") ||
        cells.at(2).text() != QString(QChar::Nbsp))
        return style;

    style.pageHeight = LayoutUnits::fromInt(device->height());
    style.left = LayoutUnits::fromReal(content.layout()->position().x());
    style.contentWidth = LayoutUnits::fromReal(content.layout()->lineAt(0).width());
    style.topMargin = top(blocks.at(HeadingA));
    style.bottomMargin = LayoutUnits::fromReal(documentHeight) - top(blocks.at(RuleC)) -
                         singleLineAdvance(blocks.at(RuleC));

    style.heading = blockStyle(blocks.at(HeadingA));
    style.rule = blockStyle(blocks.at(RuleA));
    style.content = blockStyle(content);
    style.shortcutLabel = blockStyle(cells.at(0));
    style.cell = blockStyle(cells.at(1));
    style.spacer = blockStyle(cells.at(2));
    style.nameLabel = blockStyle(cells.at(3));
    style.headingFormat = fragmentFormat(blocks.at(HeadingA), 0);
    style.labelFormat = fragmentFormat(content, 0);
    style.spaceFormat = fragmentFormat(content, 1);
    style.valueFormat = fragmentFormat(content, 2);
    style.cellLabelFormat = fragmentFormat(cells.at(0), 0);
    style.cellValueFormat = fragmentFormat(cells.at(1), 0);
    style.spacerFormat = fragmentFormat(cells.at(2), 0);

    const auto end = [&blocks](int block) {
        return top(blocks.at(block)) + singleLineAdvance(blocks.at(block));
    };
    style.ruleAfterHeading = top(blocks.at(RuleA)) - end(HeadingA);
    style.headingAfterRule = top(blocks.at(HeadingB)) - end(RuleA);
    style.contentAfterRule = top(content) - end(RuleB);
    const QRectF tableRect = sample.documentLayout()->frameBoundingRect(table);
    style.ruleAfterTable = top(blocks.at(RuleC)) - LayoutUnits::fromReal(tableRect.bottom());

    QList<qreal> cellX;
    for (const QTextBlock &cell : std::as_const(cells))
        cellX.append(sample.documentLayout()->blockBoundingRect(cell).x());
    style.shortcutLabelWidth = LayoutUnits::fromReal(cellX.at(1) - cellX.at(0));
    style.spacerWidth = LayoutUnits::fromReal(cellX.at(3) - cellX.at(2));
    style.nameLabelWidth = LayoutUnits::fromReal(cellX.at(4) - cellX.at(3));

    // What the printer takes for granted: the table where the note's text ended, at the left
    // edge; a heading's margins the same in both master macros; blocks in one place each.
    style.usable =
        LayoutUnits::fromReal(tableRect.top()) == end(Content) &&
        LayoutUnits::fromReal(tableRect.left()) == style.left && cellX.at(0) == tableRect.left() &&
        top(blocks.at(RuleB)) - end(HeadingB) == style.ruleAfterHeading &&
        LayoutUnits::fromReal(blocks.at(HeadingB).layout()->position().x()) == style.left &&
        style.cell.option.textDirection() == Qt::LeftToRight &&
        style.content.option.textDirection() == Qt::LeftToRight &&
        style.heading.option.textDirection() == Qt::LeftToRight;
    return style;
}
