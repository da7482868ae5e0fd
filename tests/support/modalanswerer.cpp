#include "modalanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QWidget *dialog = QApplication::activeModalWidget();
        // A dialog that comes back on top after the one it opened closes is not a new one.
        m_handled.removeAll(QPointer<QWidget>());
        if (!dialog || !dialog->isVisible() || m_handled.contains(dialog))
            return;
        m_handled << dialog;
        auto *box = qobject_cast<QMessageBox *>(dialog);
        m_seen << Seen{dialog->windowTitle(), box ? box->text() : QString(), m_answers.isEmpty(),
                       box ? int(box->icon()) : 0};
        const Answer reject = [](QWidget *shown) { qobject_cast<QDialog *>(shown)->reject(); };
        // Answered from an event of its own: the answer may open the next dialog.
        QTimer::singleShot(0, dialog,
                           [answer = m_seen.last().unexpected ? reject : m_answers.takeFirst(),
                            dialog] { answer(dialog); });
    });
    m_timer.start(5);
}

QStringList ModalAnswerer::said() const
{
    QStringList result;
    for (const Seen &dialog : m_seen) {
        result << (dialog.unexpected ? QStringLiteral("unexpected ") : QString()) + dialog.title +
                      (dialog.text.isEmpty() ? QString() : QLatin1Char('|') + dialog.text);
    }
    return result;
}
