#include "pieceprinter.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// The layout's numbers reach 2^25 device pixels; the spacer stays well below.
constexpr qreal MaxLayoutHeight = (1 << 25) - 1;
constexpr qreal MaxSpacerHeight = 1 << 24;

} // namespace

PiecePrinter::PiecePrinter(QPagedPaintDevice *device)
    : m_device(device), m_painter(device), m_ranges(device->pageRanges())
{
    // The pages a document's own print gives: the device's range, if it has one.
    m_rangeFirst = qMax(1, m_ranges.firstPage()) - 1;
    m_rangeLast = m_ranges.isEmpty() ? INT_MAX : m_ranges.lastPage() - 1;
    m_devicePage = m_rangeFirst;
}

bool PiecePrinter::isActive() const
{
    return m_painter.isActive();
}

void PiecePrinter::print(QTextDocument *document)
{
    if (!isActive())
        return;
    const qreal pageHeight = m_device->height();
    // The page the document's own content starts on: that of the one document, so that every
    // position is the very same number; far down a long report the one after the spacer's.
    int startPage = 0;
    if (m_continues) {
        startPage = (m_endPage + 1) * pageHeight < MaxSpacerHeight ? m_endPage : 1;
        makeSpacer(document, startPage * pageHeight + m_endY);
    }
    // The glyphs a block's layout finds are kept for drawing, which otherwise finds them again.
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
    document->documentLayout()->setPaintDevice(m_device);
    document->setPageSize(QSizeF(m_device->width(), pageHeight));
    // Asking for the size lays the document out in steps of equal size, each going back a
    // little; asking for a point below its end does so in steps of growing size. Both lay out
    // the same.
    document->documentLayout()->hitTest(QPointF(0, MaxLayoutHeight), Qt::FuzzyHit);
    const qreal height = document->documentLayout()->documentSize().height();

    // The first block sits on the document margin, which is the same at the bottom.
    m_documentMargin = document->firstBlock().layout()->position().y();
    const qreal endY = height - m_documentMargin;
    const int endPage = int(endY / pageHeight);
    const int pageOffset = m_endPage - startPage;
    for (int page = startPage; page <= endPage && isActive(); ++page)
        printPage(document, page, page + pageOffset);

    m_continues = true;
    m_endPage = endPage + pageOffset;
    m_endY = endY - endPage * pageHeight;
    m_pageCount = document->pageCount() + pageOffset;
}

void PiecePrinter::finish()
{
    if (isActive() && m_pageCount > 0)
        beginPage(m_pageCount - 1);
    m_painter.end();
}

// The stand-in's one line ends at `endY`, where the documents before ended; being taller than a
// page it is never moved to the next one. It keeps its bottom margin, so that the document's
// own first block is placed as it would follow it.
void PiecePrinter::makeSpacer(QTextDocument *document, qreal endY)
{
    QTextCursor cursor(document);
    QTextBlockFormat spacer;
    spacer.setBottomMargin(cursor.blockFormat().bottomMargin());
    // Half a unit more, as the layout cuts heights down to its units of 1/64.
    const qreal height = endY - m_documentMargin + 1.0 / 128;
    spacer.setLineHeight(height / lineHeightScale(), QTextBlockFormat::MinimumHeight);
    cursor.setBlockFormat(spacer);
}

// The layout scales a line height by the device's resolution over the screen's, which only the
// layout knows: measured once on a line of known height.
qreal PiecePrinter::lineHeightScale()
{
    if (m_lineHeightScale > 0)
        return m_lineHeightScale;
    constexpr qreal ProbeHeight = 1 << 16; // large, so that the measure is exact to 1/64
    QTextDocument probe;
    probe.documentLayout()->setPaintDevice(m_device);
    probe.setTextWidth(m_device->width());
    QTextCursor cursor(&probe);
    QTextBlockFormat format;
    format.setLineHeight(ProbeHeight, QTextBlockFormat::MinimumHeight);
    cursor.setBlockFormat(format);
    cursor.insertBlock(QTextBlockFormat());
    probe.documentLayout()->documentSize();
    const qreal measured =
        probe.lastBlock().layout()->position().y() - probe.firstBlock().layout()->position().y();
    m_lineHeightScale = measured / ProbeHeight;
    return m_lineHeightScale;
}

// As a document prints its own page: the page's slice of the document, clipped to it.
void PiecePrinter::printPage(QTextDocument *document, int page, int devicePage)
{
    if (!beginPage(devicePage) || (!m_ranges.isEmpty() && !m_ranges.contains(devicePage + 1)))
        return;
    const QSizeF size = document->pageSize();
    const QRectF view(0, page * size.height(), size.width(), size.height());
    m_painter.save();
    m_painter.translate(0, -view.top());
    m_painter.setClipRect(view);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    context.palette.setColor(QPalette::Text, Qt::black);
    document->documentLayout()->draw(&m_painter, context);
    m_painter.restore();
}

bool PiecePrinter::beginPage(int devicePage)
{
    if (devicePage < m_rangeFirst || devicePage > m_rangeLast)
        return false;
    while (m_devicePage < devicePage) {
        if (!m_device->newPage()) {
            m_painter.end();
            return false;
        }
        ++m_devicePage;
    }
    return true;
}
