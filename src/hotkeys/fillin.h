#pragma once

#include <functional>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

// Fills in the placeholders of a note's text as it is delivered: {{date}}, {{time}},
// {{date:FORMAT}} and {{date:FORMAT:+3d}} (d, w, M), {{clipboard}}, {{cursor}}, {{input:Label}},
// {{note:Name}}; "{{{{" stands for a literal "{{" and anything else is left as written. Knows
// nothing of windows or the clock: what it needs is handed in, so that it can be tried on its own.
class FillIn final
{
public:
    // Notes that include each other deeper than this are left as written.
    static constexpr int MaxDepth = 8;

    // The text of another note of the same master macro; false when there is none by that name.
    using NoteLookup = std::function<bool(const QString &name, QString *text)>;
    // Asks the user for the values of `labels` (each once, in the order they first appear);
    // false when the user cancelled.
    using InputAsk = std::function<bool(const QStringList &labels, QStringList *values)>;
    using ClipboardRead = std::function<QString()>;

    struct Result
    {
        QString text;
        // Where {{cursor}} stood in `text` (-1: nowhere), and how many Left presses take the caret
        // there from the end of the text: one per character as the user sees it.
        qsizetype cursorAt = -1;
        int cursorLeft = 0;
        bool cancelled = false; // the user cancelled an input: nothing is to be delivered
        QStringList warnings;   // notes left as written because they include themselves
    };

    // `clipboard` is read at most once, and only when a text asks for it.
    FillIn(const QDateTime &now, ClipboardRead clipboard, const QLocale &locale = QLocale());

    void setNotes(NoteLookup notes) { m_notes = std::move(notes); }
    void setInput(InputAsk ask) { m_ask = std::move(ask); }

    // `text` is the note `name` (so that it cannot include itself).
    Result expand(const QString &text, const QString &name = QString()) const;

private:
    struct Pass;
    void expandInto(const QString &text, int depth, Pass &pass) const;
    bool fillOne(const QString &inside, int depth, Pass &pass) const;
    QString date(const QString &argument) const;

    QDateTime m_now;
    ClipboardRead m_clipboard;
    QLocale m_locale;
    NoteLookup m_notes;
    InputAsk m_ask;
};
