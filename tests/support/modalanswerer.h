#pragma once

#include <functional>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

class QWidget;

// Answers the modal dialogs a command opens, in order, and keeps what each one showed so the
// test can assert on it afterwards. A dialog nobody expected is recorded as unexpected and
// rejected (a message box with only OK is answered so), so a test fails instead of hanging.
class ModalAnswerer final : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *dialog)>;
    struct Seen
    {
        QString title;
        QString text;    // the label of an input dialog, the text of a message box
        QString initial; // the text an input dialog offered
        bool isInput = false;
        bool unexpected = false; // answered by rejecting it
        int icon = 0;            // of a message box: a QMessageBox::Icon
    };

    ModalAnswerer();

    ModalAnswerer &expect(Answer answer);
    ModalAnswerer &type(const QString &text); // types into an input dialog and accepts it
    ModalAnswerer &ok();                      // OK of a message box, or accepts an input dialog
    ModalAnswerer &cancel();                  // rejects whatever comes

    const QList<Seen> &seen() const { return m_seen; }
    // "title|text" for message boxes, "title|label|offered text" for input dialogs.
    QStringList said() const;
    int pending() const { return int(m_answers.size()); }
    bool done() const { return m_answers.isEmpty(); }

private:
    void poll();

    QTimer m_timer;
    QQueue<Answer> m_answers;
    QList<Seen> m_seen;
    QList<QPointer<QWidget>> m_handled;
};
