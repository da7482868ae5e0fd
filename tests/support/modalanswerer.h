#pragma once

#include <functional>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// Answers the real modal dialogs a command opens (a dialog of the program's own, such as the
// Preferences, that the Dialogs seam does not cover), in order. A dialog nobody expected is
// rejected, so a test fails on what follows instead of hanging.
class ModalAnswerer final : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;

    ModalAnswerer();
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
