#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// Answers the modal dialogs a command opens, in order, and records what each one showed.
// An input dialog gets `text` typed in and is accepted, or is cancelled; a message box is
// answered OK or Cancel.
class DialogScript final : public QObject
{
public:
    struct Answer
    {
        bool accept = true;
        QString text; // typed into an input dialog before accepting
    };
    struct Seen
    {
        QString title;
        QString text;    // the label of an input dialog, the text of a message box
        QString initial; // the text an input dialog offered
        bool isInput = false;
    };

    DialogScript()
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogScript::poll);
        m_timer.start(5);
    }

    DialogScript &type(const QString &text) { return add({true, text}); }
    DialogScript &cancel() { return add({false, {}}); }
    DialogScript &ok() { return add({true, {}}); }

    const QList<Seen> &seen() const { return m_seen; }
    bool done() const { return m_answers.isEmpty(); }

private:
    DialogScript &add(const Answer &answer)
    {
        m_answers.append(answer);
        return *this;
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal->property("answered").toBool())
            return;
        if (m_answers.isEmpty()) {
            // Not expected by the test: record it and close it so nothing hangs.
            m_seen.append({modal->windowTitle(), QStringLiteral("<unexpected>"), {}, false});
            modal->setProperty("answered", true);
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            return;
        }
        const Answer answer = m_answers.takeFirst();
        modal->setProperty("answered", true);
        if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            m_seen.append({input->windowTitle(), input->labelText(), input->textValue(), true});
            if (answer.accept) {
                input->setTextValue(answer.text);
                input->accept();
            } else {
                input->reject();
            }
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            m_seen.append({box->windowTitle(), box->text(), {}, false});
            QAbstractButton *button =
                box->button(answer.accept ? QMessageBox::Ok : QMessageBox::Cancel);
            if (button)
                button->click();
            else
                box->reject();
        } else {
            m_seen.append({modal->windowTitle(), QStringLiteral("<unknown dialog>"), {}, false});
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        }
    }

    QTimer m_timer;
    QList<Answer> m_answers;
    QList<Seen> m_seen;
};
