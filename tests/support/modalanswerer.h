#pragma once

#include <functional>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QWidget;

// Answers the real modal dialogs a command opens (the About dialog, a print preview, a message
// box of the standard dialogs), in order, and keeps what each showed. A dialog nobody expected
// is recorded as unexpected and rejected, so a test fails instead of hanging.
class ModalAnswerer final : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;
    struct Seen
    {
        QString title;
        QString text; // of a message box
        bool unexpected = false;
        int icon = 0; // of a message box: a QMessageBox::Icon
    };

    ModalAnswerer();
    ModalAnswerer &expect(Answer answer)
    {
        m_answers.append(std::move(answer));
        return *this;
    }
    const QList<Seen> &seen() const { return m_seen; }
    // "title" or "title|text" per dialog, "unexpected " in front of a rejected one.
    QStringList said() const;

private:
    QTimer m_timer;
    QList<Answer> m_answers;
    QList<Seen> m_seen;
    QList<QPointer<QWidget>> m_handled;
};
