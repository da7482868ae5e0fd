#include "reportprinter.h"

#include "print/pageoutput.h"
#include "print/report.h"
#include "print/reportstyle.h"

#include <array>
#include <cmath>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QTextDocument>

namespace {

constexpr int Cells = 5;

// The width the document layout lays a table cell out in to learn its narrowest and widest
// width: its "no limit". A cell whose column is as wide as the widest needs no second layout.
constexpr qreal UnboundedWidth = (INT_MAX / 256) / 64.0;

// A row whose cells take longer than this to settle is left to the document layout.
constexpr int MaxRowPasses = 8;

// The least HTML a document of elements left to the document layout is given, at first.
constexpr qsizetype MinPieceSize = 8 * 1024;

// Hot-key cells kept laid out: more than the key list's 384 codes give.
constexpr size_t MaxShortcutCells = 512;

bool isDrawable(const QString &value, qsizetype i)
{
    const char16_t c = value.at(i).unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
    if (QChar::isLowSurrogate(c))
        return i > 0 && value.at(i - 1).isHighSurrogate();
    // Control characters, the document's own frame markers and its object stand-in.
    return c >= 0x20 && !(c >= 0x7f && c < 0xa0) && c != 0xfdd0 && c != 0xfdd1 && c != 0xfffc &&
           c != 0xfffe && c != 0xffff;
}

QTextLayout::FormatRange range(int start, int length, const QTextCharFormat &format)
{
    QTextLayout::FormatRange range;
    range.start = start;
    range.length = length;
    range.format = format;
    return range;
}

} // namespace

// A block's layout and the page its position counts from: the first, as in the document the
// report was printed from; far down a long report a page nearer, as the documents printed in
// pieces count from (which keeps the numbers in Qt's own 32-bit units small).
struct ReportPrinter::Placed
{
    QTextLayout *layout = nullptr;
    int origin = 0;
};

ReportPrinter::ReportPrinter(PageOutput &output, const ReportStyle &style)
    : m_output(output), m_style(style), m_pieces(output),
      m_ruleColor(QPalette().color(QPalette::Dark))
{
    m_shortcutLabel =
        cellLayout(QStringLiteral("Shortuct:"), m_style.shortcutLabel, m_style.cellLabelFormat);
    m_spacer = cellLayout(QString(QChar::Nbsp), m_style.spacer, m_style.spacerFormat);
    m_nameLabel =
        cellLayout(QStringLiteral("Note name:"), m_style.nameLabel, m_style.cellLabelFormat);
    m_rule = std::make_unique<QTextLayout>(QString(), m_style.rule.font, m_output.device());
    m_rule->setTextOption(m_style.rule.option);
    LayoutUnits shortcutLabel, spacer, nameLabel;
    m_labelsAsSample = columnWidth(*m_shortcutLabel, &shortcutLabel) &&
                       columnWidth(*m_spacer, &spacer) && columnWidth(*m_nameLabel, &nameLabel) &&
                       shortcutLabel == m_style.shortcutLabelWidth &&
                       nameLabel == m_style.nameLabelWidth && spacer <= m_style.spacerWidth;
    m_minPieceSize = MinPieceSize;
    continueFromOutput();
}

ReportPrinter::~ReportPrinter() = default;

bool ReportPrinter::shownText(const QString &value, Start start, QString *shown)
{
    shown->clear();
    shown->reserve(value.size());
    bool dropSpace = start != Start::AfterText;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\n')) {
            *shown += QChar::LineSeparator;
            dropSpace = true;
        } else if (c.isSpace() && c != QChar::Nbsp) {
            if (c == QChar::ParagraphSeparator)
                return false;
            if (!dropSpace)
                *shown += QLatin1Char(' ');
            dropSpace = true;
        } else if (isDrawable(value, i)) {
            *shown += c;
            dropSpace = false;
        } else {
            return false;
        }
    }
    return true;
}

void ReportPrinter::heading(const QString &name)
{
    QString text;
    const bool drawable = shownText(name, Start::Block, &text) && !text.isEmpty();
    if (!drawable || continuesPiece()) {
        printPiece(Report::masterMacroHeading(name), !drawable);
        return;
    }
    printPieces();
    QTextLayout heading(text, m_style.heading.font, m_output.device());
    heading.setFormats({range(0, int(text.size()), m_style.headingFormat)});
    heading.setCacheEnabled(true);
    if (m_started)
        m_y += m_style.headingAfterRule;
    const Placed block = placeRootBlock(heading, m_style.heading);
    m_y += m_style.ruleAfterHeading;
    const Placed rule = placeRule();
    m_started = true;

    drawBlock(block);
    drawRule(rule);
    updateOutputEnd();
}

// The one-row table of a note: its cells' layouts, their columns, and where the row went.
struct ReportPrinter::Table
{
    std::array<QTextLayout *, Cells> cells{};
    std::array<LayoutUnits, Cells> x, widths;
    LayoutUnits top;    // of the table, from the top of the first page
    LayoutUnits rowTop; // of the row, in the table
    LayoutUnits rowHeight;
};

void ReportPrinter::note(const QString &name, const QString &shortcutText, const QString &text)
{
    QString shownName, shownShortcut, shownText;
    const bool drawable =
        m_labelsAsSample && ReportPrinter::shownText(name, Start::AfterText, &shownName) &&
        ReportPrinter::shownText(shortcutText, Start::AfterText, &shownShortcut) &&
        ReportPrinter::shownText(text, Start::AfterSpace, &shownText);
    if (!drawable || continuesPiece()) {
        printPiece(Report::noteBlock(name, shortcutText, text), !drawable);
        return;
    }
    QPaintDevice *device = m_output.device();
    QTextLayout *shortcutCell = this->shortcutCell(shownShortcut);
    const std::unique_ptr<QTextLayout> nameCell =
        cellLayout(QChar(QChar::Nbsp) + shownName, m_style.cell, m_style.cellValueFormat);

    // Each column as wide as its widest line, as the document layout makes them when they fit
    // on the page; one that would wrap is left to it. The spacer's own width may be up to half
    // a pixel more than its column's.
    Table table;
    table.cells = {m_shortcutLabel.get(), shortcutCell, m_spacer.get(), m_nameLabel.get(),
                   nameCell.get()};
    table.widths[0] = m_style.shortcutLabelWidth;
    table.widths[2] = m_style.spacerWidth;
    table.widths[3] = m_style.nameLabelWidth;
    if (!columnWidth(*shortcutCell, &table.widths[1]) ||
        !columnWidth(*nameCell, &table.widths[4]) ||
        table.widths[0] + table.widths[1] + table.widths[2] + table.widths[3] + table.widths[4] +
                LayoutUnits::fromInt(1) >
            m_style.contentWidth) {
        printPiece(Report::noteBlock(name, shortcutText, text), true);
        return;
    }
    for (int column = 1; column < Cells; ++column)
        table.x[column] = table.x[column - 1] + table.widths[column - 1];

    printPieces();
    const LayoutUnits startY = m_y, startPageBottom = m_pageBottom;
    const QString contentText = QStringLiteral("Content: ") + shownText;
    QTextLayout content(contentText, m_style.content.font, device);
    QList<QTextLayout::FormatRange> formats = {range(0, 8, m_style.labelFormat),
                                               range(8, 1, m_style.spaceFormat)};
    if (!shownText.isEmpty())
        formats.append(range(9, int(shownText.size()), m_style.valueFormat));
    content.setFormats(formats);
    content.setCacheEnabled(true);
    if (m_started)
        m_y += m_style.contentAfterRule;
    const Placed block = placeRootBlock(content, m_style.content);

    // A table whose row would not start on this page starts on the next.
    table.top = m_y;
    bool placed = placeTable(table);
    if (placed && table.rowTop + table.top > m_pageBottom) {
        m_pageBottom += m_style.pageHeight;
        m_y =
            qMax(m_y, m_pageBottom - m_style.pageHeight + m_style.bottomMargin + m_style.topMargin);
        table.top = m_y;
        placed = placeTable(table);
    }
    if (!placed) {
        m_y = startY;
        m_pageBottom = startPageBottom;
        printPiece(Report::noteBlock(name, shortcutText, text), true);
        return;
    }
    m_y += table.rowTop + table.rowHeight;
    m_pageBottom = m_style.pageHeight * (pageOf(m_y) + 1) - m_style.bottomMargin;
    m_y += m_style.ruleAfterTable;
    const Placed rule = placeRule();
    m_started = true;

    drawBlock(block);
    drawTable(table);
    drawRule(rule);
    updateOutputEnd();
}

bool ReportPrinter::columnWidth(QTextLayout &layout, LayoutUnits *width) const
{
    const LayoutUnits minimum =
        qMax(LayoutUnits::fromInt(1), LayoutUnits::fromReal(layout.minimumWidth())).ceil();
    const LayoutUnits maximum = LayoutUnits::fromReal(layout.maximumWidth());
    *width = qMax(minimum, maximum.ceil());
    return maximum > LayoutUnits();
}

// The page a height falls on as the document layout counts: to the nearest 1/64 of a page, so
// that the last 1/128 of a page counts as the next one.
int ReportPrinter::pageOf(LayoutUnits y) const
{
    return int((y / m_style.pageHeight).truncate());
}

int ReportPrinter::floorPage(LayoutUnits y) const
{
    return int(y.v / m_style.pageHeight.v);
}

int ReportPrinter::originPage(LayoutUnits y) const
{
    const int page = floorPage(y);
    return (page + 1) * m_style.pageHeight.toReal() < PiecePrinter::MaxSpacerHeight ? 0 : page - 1;
}

ReportPrinter::Placed ReportPrinter::at(QTextLayout *layout, LayoutUnits top) const
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
void ReportPrinter::placeLine(QTextLine &line, const QTextBlockFormat &format, LayoutUnits frameY,
                              LayoutUnits blockTop, LayoutUnits &y, LayoutUnits &pageBottom,
                              LayoutUnits &bottom) const
{
    const ReportStyle::LineHeights heights = ReportStyle::lineHeights(format, line);
    const LayoutUnits pageHeight = m_style.pageHeight;
    const LayoutUnits contentHeight = pageHeight - m_style.bottomMargin - m_style.topMargin;
    while (frameY + y + heights.breakHeight > pageBottom && contentHeight >= heights.breakHeight) {
        pageBottom += pageHeight;
        y = qMax(y, pageBottom - pageHeight + m_style.bottomMargin + m_style.topMargin - frameY);
    }
    line.setPosition(QPointF(0, (y - blockTop).toReal()));
    bottom = y + heights.bottom;
    y += heights.advance;
}

ReportPrinter::Placed ReportPrinter::placeRootBlock(QTextLayout &layout,
                                                    const ReportStyle::Block &block)
{
    const LayoutUnits top = m_y;
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
        // A line wider than the page even so: once more, then broken anywhere, and the
        // lines after it at words only.
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
        placeLine(line, block.format, LayoutUnits(), top, m_y, m_pageBottom, bottom);
    }
    m_y = qMax(m_y, bottom);
    layout.endLayout();
    return placed;
}

ReportPrinter::Placed ReportPrinter::placeRule()
{
    if (m_rule->lineCount() == 0) {
        m_rule->beginLayout();
        QTextLine line = m_rule->createLine();
        line.setLeadingIncluded(true);
        line.setLineWidth(m_style.contentWidth.toReal());
        m_rule->endLayout();
    }
    const LayoutUnits top = m_y;
    const Placed placed = at(m_rule.get(), top);
    QTextLine line = m_rule->lineAt(0);
    LayoutUnits bottom;
    placeLine(line, m_style.rule.format, LayoutUnits(), top, m_y, m_pageBottom, bottom);
    m_y = qMax(m_y, bottom);
    return placed;
}

// The cell's lines from its top, with page breaks as the document layout makes them in a table.
LayoutUnits ReportPrinter::placeCell(QTextLayout &layout, LayoutUnits frameY,
                                     LayoutUnits *firstLine)
{
    const LayoutUnits pageHeight = m_style.pageHeight;
    const int page = pageOf(frameY);
    LayoutUnits pageBottom = pageHeight * (page + 1) - m_style.bottomMargin;
    LayoutUnits y = qMax(LayoutUnits(), pageHeight * page + m_style.topMargin - frameY);
    const LayoutUnits top = y;
    layout.setPosition(QPointF(0, top.toReal()));
    LayoutUnits bottom;
    for (int i = 0; i < layout.lineCount(); ++i) {
        QTextLine line = layout.lineAt(i);
        placeLine(line, m_style.cell.format, frameY, top, y, pageBottom, bottom);
    }
    *firstLine = LayoutUnits::fromReal(layout.position().y() + layout.lineAt(0).y());
    return qMax(y, bottom);
}

// The row where the document layout puts it: on the next page when the table would begin on
// a later page than its top, or when none of its cells could begin on this one.
bool ReportPrinter::placeTable(Table &table)
{
    const LayoutUnits pageHeight = m_style.pageHeight;
    const int tableStartPage = pageOf(table.top);
    LayoutUnits rowTop;
    bool tableDropped = false;
    for (int pass = 0; pass < MaxRowPasses; ++pass) {
        const int page = pageOf(rowTop + table.top);
        const LayoutUnits pageBottom = pageHeight * (page + 1) - m_style.bottomMargin - table.top;
        const LayoutUnits pageTop = pageHeight * page + m_style.topMargin - table.top;
        const LayoutUnits nextPageTop = pageTop + pageHeight;
        if (rowTop > pageBottom)
            rowTop = nextPageTop;
        else if (rowTop < pageTop)
            rowTop = pageTop;
        bool mayDropRow = true;
        for (int layout = 0; layout < 2; ++layout) {
            if (pageOf(rowTop + table.top) > tableStartPage && !tableDropped) {
                rowTop = nextPageTop;
                tableDropped = true;
                break;
            }
            LayoutUnits height;
            bool dropRow = mayDropRow;
            for (QTextLayout *cell : table.cells) {
                LayoutUnits firstLine;
                height = qMax(height, placeCell(*cell, table.top + rowTop, &firstLine).round());
                if (rowTop + firstLine < pageBottom)
                    dropRow = false;
            }
            if (!dropRow) {
                table.rowTop = rowTop;
                table.rowHeight = height;
                return true;
            }
            rowTop = nextPageTop;
            mayDropRow = false;
        }
    }
    return false;
}

// Each page the rectangle (counted from the origin page) reaches into, as the document layout
// tests a block against a page: with the painter set up for that page.
void ReportPrinter::forEachPage(const QRectF &rect, int origin,
                                const std::function<void(QPainter *, const QRectF &)> &draw)
{
    const qreal pageHeight = m_style.pageHeight.toReal();
    const qreal width = m_output.device()->width();
    const int first = qMax(0, origin + int(std::floor(rect.top() / pageHeight)) - 1);
    const int last = origin + int(std::floor(rect.bottom() / pageHeight)) + 1;
    for (int page = first; page <= last; ++page) {
        const QRectF clip(0, (page - origin) * pageHeight, width, pageHeight);
        if (rect.bottom() < clip.top() || rect.top() > clip.bottom())
            continue;
        if (QPainter *painter = m_output.view(page, origin))
            draw(painter, clip);
    }
}

void ReportPrinter::drawBlock(const Placed &block)
{
    QTextLayout *layout = block.layout;
    const QRectF rect = layout->boundingRect().translated(layout->position());
    forEachPage(rect, block.origin, [&](QPainter *painter, const QRectF &clip) {
        const QPen pen = painter->pen();
        painter->setPen(QColor(Qt::black));
        layout->draw(painter, QPointF(), {}, clip);
        painter->setPen(pen);
    });
}

void ReportPrinter::drawRule(const Placed &rule)
{
    const QRectF rect = rule.layout->boundingRect().translated(rule.layout->position());
    const qreal width =
        m_style.rule.format.lengthProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)
            .value(rect.width());
    const qreal middle = rect.left() + rect.width() / 2;
    forEachPage(rect, rule.origin, [&](QPainter *painter, const QRectF &) {
        const QPen pen = painter->pen();
        painter->setPen(m_ruleColor);
        const qreal y = rect.top() + rect.height() / 2;
        painter->drawLine(QLineF(middle - width / 2, y, middle + width / 2, y));
        painter->setPen(pen);
    });
}

void ReportPrinter::drawTable(const Table &table)
{
    const int originPage = this->originPage(table.top);
    const QPoint origin =
        QPointF(m_style.left.toReal(), (table.top - m_style.pageHeight * originPage).toReal())
            .toPoint();
    const qreal width = (table.x[Cells - 1] + table.widths[Cells - 1]).toReal();
    const qreal height = (table.rowTop + table.rowHeight).toReal();
    const QRectF frame(origin, QSizeF(width, height));
    forEachPage(frame, originPage, [&](QPainter *painter, const QRectF &clip) {
        if (origin.y() > clip.bottom() || origin.y() + height < clip.top() ||
            origin.x() > clip.right() || origin.x() + width < clip.left())
            return;
        for (int column = 0; column < Cells; ++column) {
            const QRectF cell = QRectF(table.x[column].toReal(), table.rowTop.toReal(),
                                       table.widths[column].toReal(), table.rowHeight.toReal())
                                    .translated(origin);
            if (!cell.intersects(clip))
                continue;
            QTextLayout *layout = table.cells[column];
            const QRectF text =
                layout->boundingRect().translated(cell.topLeft() + layout->position());
            if (text.bottom() < clip.top() || text.top() > clip.bottom())
                continue;
            const QPen pen = painter->pen();
            painter->setPen(QColor(Qt::black));
            layout->draw(painter, cell.topLeft(), {}, clip);
            painter->setPen(pen);
        }
    });
}

void ReportPrinter::continueFromOutput()
{
    const PageOutput::End &end = m_output.end();
    m_started = end.any;
    if (!m_started) {
        m_y = m_style.topMargin;
        m_pageBottom = m_style.pageHeight - m_style.bottomMargin;
        return;
    }
    m_y = m_style.pageHeight * end.page + LayoutUnits::fromReal(end.y);
    m_pageBottom = m_style.pageHeight * (floorPage(m_y) + 1) - m_style.bottomMargin;
}

void ReportPrinter::updateOutputEnd()
{
    PageOutput::End &end = m_output.end();
    end.any = true;
    end.page = floorPage(m_y);
    end.y = (m_y - m_style.pageHeight * end.page).toReal();
    end.pageCount =
        end.page + qCeil((end.y + m_style.bottomMargin.toReal()) / m_style.pageHeight.toReal());
    end.documentMargin = m_style.topMargin.toReal();
}

void ReportPrinter::endSection()
{
    // The space that closes a section in the HTML, kept where it decides how the next is read.
    if (!m_pendingPiece.isEmpty())
        m_pendingPiece += QLatin1Char(' ');
}

void ReportPrinter::finish()
{
    printPieces();
}

// Such elements in a row make one document, of a piece's size at most.
void ReportPrinter::printPiece(const QString &body, bool needed)
{
    m_pendingPiece += body;
    ++m_pieceElements;
    m_pieceNeeded += needed ? 1 : 0;
    if (m_pendingPiece.size() >= Report::PieceSize)
        printPieces();
}

// A short document costs the layout more for each note than a long one: one begun takes what
// follows until it is of some size, the larger the more of its elements need it.
bool ReportPrinter::continuesPiece() const
{
    return !m_pendingPiece.isEmpty() && m_pendingPiece.size() < m_minPieceSize;
}

void ReportPrinter::printPieces()
{
    if (m_pendingPiece.isEmpty())
        return;
    m_minPieceSize = 2 * m_pieceNeeded >= m_pieceElements
                         ? qMin(2 * m_minPieceSize, Report::PieceSize)
                         : qMax(m_minPieceSize / 2, MinPieceSize);
    m_pieceElements = m_pieceNeeded = 0;
    QTextDocument document;
    Report::setPage(&document, Report::continuedPage(m_pendingPiece, m_started));
    m_pendingPiece.clear();
    m_pieces.print(&document);
    continueFromOutput();
}

std::unique_ptr<QTextLayout> ReportPrinter::cellLayout(const QString &text,
                                                       const ReportStyle::Block &block,
                                                       const QTextCharFormat &format) const
{
    auto layout = std::make_unique<QTextLayout>(text, block.font, m_output.device());
    layout->setFormats({range(0, int(text.size()), format)});
    layout->setTextOption(block.option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(UnboundedWidth);
    }
    layout->endLayout();
    return layout;
}

// Hot keys repeat (there are a few hundred), so their cells are laid out once each.
QTextLayout *ReportPrinter::shortcutCell(const QString &shown)
{
    auto found = m_shortcutCells.find(shown);
    if (found == m_shortcutCells.end()) {
        if (m_shortcutCells.size() >= MaxShortcutCells)
            m_shortcutCells.clear();
        found = m_shortcutCells
                    .emplace(shown, cellLayout(QChar(QChar::Nbsp) + shown, m_style.cell,
                                               m_style.cellValueFormat))
                    .first;
    }
    return found->second.get();
}
