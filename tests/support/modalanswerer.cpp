#include "modalanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

void reject(QWidget *dialog)
{
    if (auto *other = qobject_cast<QDialog *>(dialog))
        other->reject();
}

} // namespace

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

ModalAnswerer &ModalAnswerer::type(const QString &text)
{
    return expect([text](QWidget *dialog) {
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            input->setTextValue(text);
            input->accept();
        } else {
            reject(dialog);
        }
    });
}

ModalAnswerer &ModalAnswerer::ok()
{
    return expect([](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (QAbstractButton *button = box ? box->button(QMessageBox::Ok) : nullptr)
            button->click();
        else if (auto *input = qobject_cast<QInputDialog *>(dialog))
            input->accept();
        else
            reject(dialog);
    });
}

ModalAnswerer &ModalAnswerer::cancel()
{
    return expect(reject);
}

QStringList ModalAnswerer::said() const
{
    QStringList result;
    for (const Seen &dialog : m_seen) {
        QString line = dialog.unexpected ? QStringLiteral("unexpected ") : QString();
        line += dialog.title;
        if (!dialog.text.isEmpty() || dialog.isInput)
            line += QLatin1Char('|') + dialog.text;
        if (dialog.isInput)
            line += QLatin1Char('|') + dialog.initial;
        result << line;
    }
    return result;
}

void ModalAnswerer::poll()
{
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible())
        return;
    // A dialog that comes back on top after the one it opened closes is not a new one.
    m_handled.removeAll(QPointer<QWidget>());
    if (m_handled.contains(dialog))
        return;
    m_handled << dialog;

    Seen seen{dialog->windowTitle(), {}, {}, false, false, 0};
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
        seen = {box->windowTitle(), box->text(), {}, false, false, int(box->icon())};
    else if (auto *input = qobject_cast<QInputDialog *>(dialog))
        seen = {input->windowTitle(), input->labelText(), input->textValue(), true, false, 0};

    if (m_answers.isEmpty()) {
        seen.unexpected = true;
        m_seen << seen;
        reject(dialog);
        return;
    }
    m_seen << seen;
    // Answer from an event of its own: the answer may open the next dialog (a warning after
    // OK), and the poll timer does not fire again while its own slot is still running.
    QTimer::singleShot(0, dialog, [answer = m_answers.dequeue(), dialog] { answer(dialog); });
}
