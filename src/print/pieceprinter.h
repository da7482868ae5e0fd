#pragma once

#include <QPageRanges>
#include <QPainter>

class QPagedPaintDevice;
class QTextDocument;

// Prints documents one after another onto a paged device so that they read as one document:
// each continues on the page, at the height, where the one before ended, and breaks its pages
// where the one document would. Each is laid out on its own, which keeps the time and memory
// of a long report in step with its length (one large document lays out ever slower).
//
// A document that continues another begins with a stand-in for the block the other ends with
// (the same markup, so that what follows is read and placed as in one document); the stand-in
// takes that block's place in the layout and is not printed. The cut must fall where a block
// follows a block, not a table.
class PiecePrinter final
{
public:
    explicit PiecePrinter(QPagedPaintDevice *device);

    PiecePrinter(const PiecePrinter &) = delete;
    PiecePrinter &operator=(const PiecePrinter &) = delete;

    // False when the device cannot be painted on; nothing is printed then.
    bool isActive() const;

    // Lays the document out (it is changed: it gets the device and its page size, and its
    // stand-in is made a spacer) and prints its pages.
    void print(QTextDocument *document);

    // Ends the print with the pages the documents take as one (a last one may be empty).
    void finish();

private:
    void makeSpacer(QTextDocument *document, qreal endY);
    qreal lineHeightScale();
    void printPage(QTextDocument *document, int page, int devicePage);
    bool beginPage(int devicePage);

    QPagedPaintDevice *m_device;
    QPainter m_painter;
    QPageRanges m_ranges;
    int m_rangeFirst = 0; // the pages printed, counted from 0, as the device's range says
    int m_rangeLast = 0;
    int m_devicePage = 0; // the page the device is on
    qreal m_lineHeightScale = 0;

    // Where the documents printed so far end: the page (from 0) and the height on it; the page
    // count of them as one document, and the margin of each.
    bool m_continues = false;
    int m_endPage = 0;
    qreal m_endY = 0;
    int m_pageCount = 0;
    qreal m_documentMargin = 0;
};
