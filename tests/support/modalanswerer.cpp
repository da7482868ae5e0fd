#include "modalanswerer.h"

#include <QApplication>
#include <QDialog>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QWidget *dialog = QApplication::activeModalWidget();
        // A dialog that comes back on top after the one it opened closes is not a new one.
        m_handled.removeAll(QPointer<QWidget>());
        if (!dialog || !dialog->isVisible() || m_handled.contains(dialog))
            return;
        m_handled << dialog;
        const Answer reject = [](QWidget *shown) { qobject_cast<QDialog *>(shown)->reject(); };
        // Answered from an event of its own: the answer may open the next dialog.
        QTimer::singleShot(0, dialog,
                           [answer = m_answers.isEmpty() ? reject : m_answers.takeFirst(), dialog] {
                               answer(dialog);
                           });
    });
    m_timer.start(5);
}
