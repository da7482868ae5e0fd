#pragma once

#include "engine/inputasker.h"

#include <QPointer>

class QWidget;

// Asks for a note's {{input:...}} values in an InputsDlg that comes up in front of whatever
// program the user is in, and answers once it is closed; nothing waits for it meanwhile.
class InputsAsker final : public InputAsker
{
public:
    // The window the question belongs to (it stays usable: the question blocks nothing else).
    explicit InputsAsker(QWidget *window = nullptr) : m_window(window) {}

    void ask(const QString &note, const QStringList &labels, Answer answer) override;

private:
    QPointer<QWidget> m_window;
};
