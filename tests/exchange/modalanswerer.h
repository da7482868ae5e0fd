#pragma once

#include <functional>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

class QWidget;

// Answers the modal dialogs a command opens, in order, and keeps what each one said
// ("title|text" for message boxes, "title|label|prefilled text" for input dialogs) so the test
// can assert on it afterwards. A dialog nobody expected is recorded as "unexpected ..." and
// rejected, so a test fails instead of hanging.
class ModalAnswerer final : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;

    ModalAnswerer();

    void expect(Answer answer) { m_answers.enqueue(std::move(answer)); }
    void expectText(const QString &text); // types into an input dialog and confirms
    void expectCancel();                  // rejects whatever comes
    void expectOk();                      // presses OK of a message box

    QStringList seen() const { return m_seen; }
    int pending() const { return m_answers.size(); }

private:
    void poll();

    QTimer m_timer;
    QQueue<Answer> m_answers;
    QStringList m_seen;
    QList<QPointer<QWidget>> m_handled;
};
