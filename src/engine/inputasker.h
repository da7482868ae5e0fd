#pragma once

#include <functional>
#include <QString>
#include <QStringList>

// Asks the user for the values of a note's {{input:...}} placeholders, without holding up the
// program meanwhile: the answer comes later, through the callback.
class InputAsker
{
public:
    // Runs once: `answered` false when the user cancelled.
    using Answer = std::function<void(bool answered, const QStringList &values)>;

    virtual ~InputAsker() = default;
    // The values of `labels` (each once, in the order they appear) of the note `note`.
    virtual void ask(const QString &note, const QStringList &labels, Answer answer) = 0;
};
