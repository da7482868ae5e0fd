#pragma once

#include <QtGlobal>

class PageOutput;
class QTextDocument;

// Prints documents one after another onto the pages of an output so that they read as one
// document: each continues on the page, at the height, where the content before it ended, and
// breaks its pages where the one document would. Each is laid out on its own, which keeps the
// time and memory of a long report in step with its length (one large document lays out ever
// slower).
//
// A document that continues other content begins with a stand-in for the block that content
// ends with (the same markup, so that what follows is read and placed as in one document); the
// stand-in takes that block's place in the layout and is not printed. The cut must fall where a
// block follows a block, not a table.
class PiecePrinter final
{
public:
    // A document continued far down a long report counts its pages from near where it starts,
    // so that its heights stay below this.
    static constexpr qreal MaxSpacerHeight = 1 << 24;

    explicit PiecePrinter(PageOutput &output);

    PiecePrinter(const PiecePrinter &) = delete;
    PiecePrinter &operator=(const PiecePrinter &) = delete;

    // Lays the document out (it is changed: it gets the device and its page size, and its
    // stand-in is made a spacer) and prints its pages.
    void print(QTextDocument *document);

private:
    void makeSpacer(QTextDocument *document, qreal endY);
    bool spacerInPlace(QTextDocument *document, qreal endY) const;
    qreal lineHeightScale();
    void printPage(QTextDocument *document, int page, int devicePage);

    PageOutput &m_output;
    qreal m_lineHeightScale = 0;
};
