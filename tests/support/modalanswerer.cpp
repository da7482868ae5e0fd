#include "modalanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(5);
}

ModalAnswerer &ModalAnswerer::expect(Answer answer)
{
    m_answers.enqueue(std::move(answer));
    return *this;
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

void ModalAnswerer::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    // A dialog that comes back on top after the one it opened closes is not a new one.
    m_handled.removeAll(QPointer<QWidget>());
    if (!dialog || !dialog->isVisible() || m_handled.contains(dialog))
        return;
    m_handled << dialog;
    Seen seen{dialog->windowTitle(), {}, m_answers.isEmpty(), 0};
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
        seen = {box->windowTitle(), box->text(), seen.unexpected, int(box->icon())};
    m_seen << seen;
    // Answered from an event of its own: the answer may open the next dialog.
    const Answer answer = seen.unexpected ? Answer([](QWidget *shown) {
        if (auto *box = qobject_cast<QDialog *>(shown))
            box->reject();
    })
                                          : m_answers.dequeue();
    QTimer::singleShot(0, dialog, [answer, dialog] { answer(dialog); });
}
