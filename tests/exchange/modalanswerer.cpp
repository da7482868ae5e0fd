#include "modalanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

ModalAnswerer::ModalAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(5);
}

void ModalAnswerer::expectText(const QString &text)
{
    expect([text](QWidget *dialog) {
        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            input->setTextValue(text);
            input->accept();
        } else if (auto *other = qobject_cast<QDialog *>(dialog)) {
            other->reject();
        }
    });
}

void ModalAnswerer::expectCancel()
{
    expect([](QWidget *dialog) {
        if (auto *other = qobject_cast<QDialog *>(dialog))
            other->reject();
    });
}

void ModalAnswerer::expectOk()
{
    expect([](QWidget *dialog) {
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            box->button(QMessageBox::Ok)->click();
        else if (auto *other = qobject_cast<QDialog *>(dialog))
            other->reject();
    });
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

    QString said = dialog->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
        said += QLatin1Char('|') + box->text();
    else if (auto *input = qobject_cast<QInputDialog *>(dialog))
        said += QLatin1Char('|') + input->labelText() + QLatin1Char('|') + input->textValue();

    if (m_answers.isEmpty()) {
        m_seen << QStringLiteral("unexpected ") + said;
        if (auto *other = qobject_cast<QDialog *>(dialog))
            other->reject();
        return;
    }
    m_seen << said;
    // Answer from an event of its own: the answer may open the next dialog (a warning after
    // OK), and the poll timer does not fire again while its own slot is still running.
    QTimer::singleShot(0, dialog, [answer = m_answers.dequeue(), dialog] { answer(dialog); });
}
