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

QPainter *PageOutput::view(int page)
{
    if (m_viewPage == page)
        return &m_painter;
    closeView();
    if (!beginPage(page))
        return nullptr;
    m_painter.save();
    m_painter.setClipRect(QRectF(0, 0, m_device->width(), m_device->height()));
    m_viewPage = page;
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
