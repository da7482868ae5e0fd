#include "pageoutput.h"

#include <QPagedPaintDevice>

PageOutput::PageOutput(QPagedPaintDevice *device)
    : m_device(device), m_painter(device), m_ranges(device->pageRanges())
{
    // The pages a document's own print gives: the device's range, if it has one.
    m_rangeFirst = qMax(1, m_ranges.firstPage()) - 1;
    m_rangeLast = m_ranges.isEmpty() ? INT_MAX : m_ranges.lastPage() - 1;
    m_devicePage = m_rangeFirst;
}

bool PageOutput::isActive() const
{
    return m_painter.isActive();
}

QPagedPaintDevice *PageOutput::device() const
{
    return m_device;
}

QPainter &PageOutput::painter()
{
    return m_painter;
}

bool PageOutput::beginPage(int page)
{
    if (!isActive() || page < m_rangeFirst || page > m_rangeLast)
        return false;
    while (m_devicePage < page) {
        closeView();
        if (!m_device->newPage()) {
            m_painter.end();
            return false;
        }
        ++m_devicePage;
    }
    return m_devicePage == page && (m_ranges.isEmpty() || m_ranges.contains(page + 1));
}

QPainter *PageOutput::view(int page, int origin)
{
    if (m_viewPage == page && m_viewOrigin == origin)
        return &m_painter;
    closeView();
    if (!beginPage(page))
        return nullptr;
    // As a document prints its page: the page's slice of the document, clipped to it.
    const QRectF slice(0, qreal(page - origin) * m_device->height(), m_device->width(),
                       m_device->height());
    m_painter.save();
    m_painter.translate(0, -slice.top());
    m_painter.setClipRect(slice);
    m_viewPage = page;
    m_viewOrigin = origin;
    return &m_painter;
}

void PageOutput::closeView()
{
    if (m_viewPage < 0)
        return;
    m_painter.restore();
    m_viewPage = -1;
}

PageOutput::End &PageOutput::end()
{
    return m_end;
}

void PageOutput::finish()
{
    closeView();
    if (isActive() && m_end.pageCount > 0)
        beginPage(m_end.pageCount - 1);
    m_painter.end();
}
