#include "pendingboxes.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

PendingBoxes::PendingBoxes(QWidget *window) : QObject(window), m_window(window)
{
    m_window->installEventFilter(this);
}

void PendingBoxes::show(std::function<void()> box)
{
    m_waiting << std::move(box);
    if (m_window->isActiveWindow())
        showWaiting();
}

bool PendingBoxes::eventFilter(QObject *watched, QEvent *event)
{
    // Later, not inside the activation: a box runs an event loop of its own.
    if (event->type() == QEvent::ActivationChange && m_window->isActiveWindow() &&
        !m_waiting.isEmpty())
        QTimer::singleShot(0, this, &PendingBoxes::showWaiting);
    return QObject::eventFilter(watched, event);
}

void PendingBoxes::showWaiting()
{
    // One after another: each box takes the window's activation away and gives it back.
    const QList<std::function<void()>> boxes = std::exchange(m_waiting, {});
    for (const std::function<void()> &box : boxes)
        box();
}
