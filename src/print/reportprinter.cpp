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

constexpr int Cells = ReportFlow::Cells;

// The width the document layout lays a table cell out in to learn its narrowest and widest
// width: its "no limit". A cell whose column is as wide as the widest needs no second layout.
constexpr qreal UnboundedWidth = (INT_MAX / 256) / 64.0;

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

ReportPrinter::ReportPrinter(PageOutput &output, const ReportStyle &style)
    : m_output(output), m_style(style), m_pieces(output), m_flow(style),
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
    if (!m_output.isActive())
        return;
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
        m_flow.addMargin(m_style.headingAfterRule);
    const Placed block = m_flow.placeBlock(heading, m_style.heading);
    m_flow.addMargin(m_style.ruleAfterHeading);
    const Placed rule = m_flow.placeRule(*m_rule);
    m_started = true;

    drawBlock(block);
    drawRule(rule);
    updateOutputEnd();
}

void ReportPrinter::note(const QString &name, const QString &shortcutText, const QString &text)
{
    if (!m_output.isActive())
        return;
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
    if (!m_nameCell)
        m_nameCell = cellLayout(QString(), m_style.cell, m_style.cellValueFormat);
    QTextLayout *nameCell = m_nameCell.get();
    layOutCell(*nameCell, QChar(QChar::Nbsp) + shownName, m_style.cell, m_style.cellValueFormat);

    // Each column as wide as its widest line, as the document layout makes them when they fit
    // on the page; one that would wrap is left to it. The spacer's own width may be up to half
    // a pixel more than its column's.
    Row table;
    table.cells = {m_shortcutLabel.get(), shortcutCell, m_spacer.get(), m_nameLabel.get(),
                   nameCell};
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
    const ReportFlow::State start = m_flow.state();
    const QString contentText = QStringLiteral("Content: ") + shownText;
    // One layout for every note's text (and name), which keeps its font resolved for the device.
    if (!m_content)
        m_content = std::make_unique<QTextLayout>(QString(), m_style.content.font, device);
    QTextLayout &content = *m_content;
    content.setText(contentText);
    QList<QTextLayout::FormatRange> formats = {range(0, 8, m_style.labelFormat),
                                               range(8, 1, m_style.spaceFormat)};
    if (!shownText.isEmpty())
        formats.append(range(9, int(shownText.size()), m_style.valueFormat));
    content.setFormats(formats);
    content.setCacheEnabled(true);
    if (m_started)
        m_flow.addMargin(m_style.contentAfterRule);
    const Placed block = m_flow.placeBlock(content, m_style.content);
    if (!m_flow.placeRow(table)) {
        m_flow.restore(start);
        printPiece(Report::noteBlock(name, shortcutText, text), true);
        return;
    }
    m_flow.addMargin(m_style.ruleAfterTable);
    const Placed rule = m_flow.placeRule(*m_rule);
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

void ReportPrinter::drawTable(const Row &table)
{
    const int originPage = m_flow.originPage(table.top);
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
    if (m_started)
        m_flow.continueAt(m_style.pageHeight * end.page + LayoutUnits::fromReal(end.y));
    else
        m_flow.start();
}

void ReportPrinter::updateOutputEnd()
{
    const LayoutUnits y = m_flow.state().y;
    PageOutput::End &end = m_output.end();
    end.any = true;
    end.page = m_flow.floorPage(y);
    end.y = (y - m_style.pageHeight * end.page).toReal();
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
    auto layout = std::make_unique<QTextLayout>(QString(), block.font, m_output.device());
    layOutCell(*layout, text, block, format);
    return layout;
}

void ReportPrinter::layOutCell(QTextLayout &layout, const QString &text,
                               const ReportStyle::Block &block, const QTextCharFormat &format)
{
    layout.setText(text);
    layout.setFormats({range(0, int(text.size()), format)});
    layout.setTextOption(block.option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(UnboundedWidth);
    }
    layout.endLayout();
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
