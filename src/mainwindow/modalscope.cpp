#include "modalscope.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

ModalScope::ModalScope(QWidget *mainWindow) : QObject(mainWindow), m_window(mainWindow)
{
    qApp->installEventFilter(this);
}

bool ModalScope::eventFilter(QObject *watched, QEvent *event)
{
    // A window's Show comes before it is mapped, and so before its modality takes effect.
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (!widget->isWindow() || widget == m_window ||
        widget->windowModality() != Qt::ApplicationModal || !widget->windowHandle())
        return false;
    QWindow *window = widget->windowHandle();
    if (!window->transientParent()) {
        m_window->winId(); // a window hidden since the start has none yet
        window->setTransientParent(m_window->windowHandle());
    }
    widget->setWindowModality(Qt::WindowModal);
    window->setModality(Qt::WindowModal);
    return false;
}
