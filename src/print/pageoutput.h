#pragma once

#include <QPageRanges>
#include <QPainter>

class QPagedPaintDevice;

// The pages of one print: the painter on the device, the pages its range asks for, and where
// the content printed so far ends. The two ways the report is printed (laid out by the document
// layout, or drawn directly) take turns on the same pages and continue where the other ended.
class PageOutput final
{
public:
    // Where the content printed so far ends, were it all one document: the page (from 0) and the
    // height on it, the pages that document has, and its margin (the same at every side).
    struct End
    {
        bool any = false;
        int page = 0;
        qreal y = 0;
        int pageCount = 0;
        qreal documentMargin = 0;
    };

    explicit PageOutput(QPagedPaintDevice *device);

    PageOutput(const PageOutput &) = delete;
    PageOutput &operator=(const PageOutput &) = delete;

    // False when the device cannot be painted on (or failed); nothing is printed then.
    bool isActive() const;
    QPagedPaintDevice *device() const;
    QPainter &painter();

    // Takes the device to `page` (from 0). False when that page is not printed: outside the
    // range, or the device failed.
    bool beginPage(int page);

    // The painter drawing on `page`, clipped to it, or null when the page is not printed: in
    // the pixels of a document whose first page is `origin`, which puts `page` at its height in
    // that document. It stays so until closeView(); another view closes it.
    QPainter *view(int page, int origin);
    void closeView();

    End &end();

    // Ends the print with the pages the content takes as one document (a last one may be empty).
    void finish();

private:
    QPagedPaintDevice *m_device;
    QPainter m_painter;
    QPageRanges m_ranges;
    int m_rangeFirst = 0; // the pages printed, counted from 0, as the device's range says
    int m_rangeLast = 0;
    int m_devicePage = 0; // the page the device is on
    int m_viewPage = -1;  // the page the painter is set up for, and its origin
    int m_viewOrigin = 0;
    End m_end;
};
