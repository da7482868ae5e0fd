#pragma once

#include <functional>
#include <QtWidgets>

// Answers the real modal dialogs a command opens (a dialog of the program's own, such as the
// Preferences, that the Dialogs seam does not cover, or a standard one that Dialogs shows), in
// order. A dialog nobody expected is rejected, so a test fails on what follows instead of
// hanging.
class ModalAnswerer final : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;

    ModalAnswerer()
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
                               [answer = m_answers.isEmpty() ? reject : m_answers.takeFirst(),
                                dialog] { answer(dialog); });
        });
        m_timer.start(5);
    }
    ModalAnswerer &expect(Answer answer)
    {
        m_answers.append(std::move(answer));
        return *this;
    }

private:
    QTimer m_timer;
    QList<Answer> m_answers;
    QList<QPointer<QWidget>> m_handled;
};
