#include "pieceprinter.h"

#include "pageoutput.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// The layout's numbers reach 2^25 device pixels; the spacer stays well below.
constexpr qreal MaxLayoutHeight = (1 << 25) - 1;

} // namespace

PiecePrinter::PiecePrinter(PageOutput &output) : m_output(output) {}

void PiecePrinter::print(QTextDocument *document)
{
    if (!m_output.isActive())
        return;
    m_output.closeView();
    QPagedPaintDevice *device = m_output.device();
    PageOutput::End &end = m_output.end();
    const qreal pageHeight = device->height();
    // The page the document's own content starts on: that of the one document, so that every
    // position is the very same number; far down a long report the one after the spacer's.
    int startPage = 0;
    if (end.any) {
        startPage = (end.page + 1) * pageHeight < MaxSpacerHeight ? end.page : 1;
        makeSpacer(document, startPage * pageHeight + end.y);
    }
    // The glyphs a block's layout finds are kept for drawing, which otherwise finds them again.
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
    document->documentLayout()->setPaintDevice(device);
    document->setPageSize(QSizeF(device->width(), pageHeight));
    // Asking for the size lays the document out in steps of equal size, each going back a
    // little; asking for a point below its end does so in steps of growing size. Both lay out
    // the same.
    document->documentLayout()->hitTest(QPointF(0, MaxLayoutHeight), Qt::FuzzyHit);
    // A step that goes back to the document's start (the spacer ends less than 2,000 pixels
    // down) lays the spacer out again in a way that moves it, and everything after it, to the
    // next page. Then the whole document is laid out once more, in one pass.
    if (end.any && !spacerInPlace(document, startPage * pageHeight + end.y)) {
        document->markContentsDirty(0, document->characterCount());
        document->documentLayout()->documentSize();
    }
    const qreal height = document->documentLayout()->documentSize().height();

    // The first block sits on the document margin, which is the same at the bottom.
    end.documentMargin = document->firstBlock().layout()->position().y();
    const qreal endY = height - end.documentMargin;
    const int endPage = int(endY / pageHeight);
    const int pageOffset = end.page - startPage;
    for (int page = startPage; page <= endPage && m_output.isActive(); ++page)
        printPage(document, page, page + pageOffset);

    end.any = true;
    end.page = endPage + pageOffset;
    end.y = endY - endPage * pageHeight;
    end.pageCount = document->pageCount() + pageOffset;
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
    const qreal height = endY - m_output.end().documentMargin + 1.0 / 128;
    spacer.setLineHeight(height / lineHeightScale(), QTextBlockFormat::MinimumHeight);
    cursor.setBlockFormat(spacer);
}

bool PiecePrinter::spacerInPlace(QTextDocument *document, qreal endY) const
{
    const QTextLayout *spacer = document->firstBlock().layout();
    const QTextLine line = spacer->lineAt(0);
    return qAbs(spacer->position().y() + line.y() + line.height() - endY) < 1;
}

// The layout scales a line height by the device's resolution over the screen's, which only the
// layout knows: measured once on a line of known height.
qreal PiecePrinter::lineHeightScale()
{
    if (m_lineHeightScale > 0)
        return m_lineHeightScale;
    constexpr qreal ProbeHeight = 1 << 16; // large, so that the measure is exact to 1/64
    QTextDocument probe;
    probe.documentLayout()->setPaintDevice(m_output.device());
    probe.setTextWidth(m_output.device()->width());
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
    if (!m_output.beginPage(devicePage))
        return;
    QPainter &painter = m_output.painter();
    const QSizeF size = document->pageSize();
    const QRectF view(0, page * size.height(), size.width(), size.height());
    painter.save();
    painter.translate(0, -view.top());
    painter.setClipRect(view);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    context.palette.setColor(QPalette::Text, Qt::black);
    document->documentLayout()->draw(&painter, context);
    painter.restore();
}
