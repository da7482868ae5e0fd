#pragma once

#include <functional>
#include <optional>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

// Fills in the placeholders of a note's text as it is delivered: {{date}}, {{time}},
// {{date:FORMAT}} and {{date:FORMAT:+3d}} (d, w, M), {{clipboard}}, {{cursor}}, {{input:Label}},
// {{note:Name}}, {{key:Name}} (Left, Right, Up, Down, Home, End, Return, Tab, Backspace, Delete,
// Escape: pressed where it stands); "{{{{" stands for a literal "{{", a "{" before a placeholder is
// text, and anything else is left as written. Knows nothing of windows or the clock: what it needs
// is handed in, so that it can be tried on its own.
class FillIn final
{
public:
    // Notes that include each other deeper than this are left as written.
    static constexpr int MaxDepth = 8;
    // What the placeholders may bring into one text, in characters (the included notes' texts
    // counted each time they are included): notes that include each other ten wide would
    // otherwise grow tenfold with every level. The placeholder that would go past it, and every
    // one after it, is left as written.
    static constexpr qsizetype MaxFilled = 1 << 20;

    // The text of another note of the same master macro; false when there is none by that name.
    using NoteLookup = std::function<bool(const QString &name, QString *text)>;
    // Asks the user for the values of `labels` (each once, in the order they first appear) of
    // the note `note`; false when the user cancelled.
    using InputAsk =
        std::function<bool(const QString &note, const QStringList &labels, QStringList *values)>;
    using ClipboardRead = std::function<QString()>;

    // A key pressed once the text before `at` has gone out.
    struct KeyAt
    {
        qsizetype at = 0;
        int key = 0; // a Qt key code
        bool operator==(const KeyAt &other) const { return at == other.at && key == other.key; }
    };

    struct Result
    {
        QString text;
        QList<KeyAt> keys; // in the order of `at`
        // Where {{cursor}} stood in `text` (-1: nowhere), and how many Left presses take the caret
        // there from the end of the text: one per character as the user sees it.
        qsizetype cursorAt = -1;
        int cursorLeft = 0;
        bool cancelled = false; // the user cancelled an input: nothing is to be delivered
        QStringList warnings;   // why placeholders were left as written
    };

    // `clipboard` is read at most once, and only when a text asks for it.
    FillIn(const QDateTime &now, ClipboardRead clipboard, const QLocale &locale = QLocale());

    // Each name is looked up at most once by this object (see remembering()).
    void setNotes(NoteLookup notes) { m_notes = remembering(std::move(notes)); }
    void setInput(InputAsk ask) { m_ask = std::move(ask); }

    // `text` is the note `name` (so that it cannot include itself).
    Result expand(const QString &text, const QString &name = QString()) const;
    // The labels of the {{input:...}} of `text` and the notes it includes, each once, in the
    // order they first appear: what expand() asks for.
    QStringList inputs(const QString &text, const QString &name = QString()) const;
    // Whether `text`, or a note it includes, holds {{clipboard}}: the clipboard can be large and
    // its owner slow, so it is read only for such notes.
    bool readsClipboard(const QString &text) const;

    // `notes`, asked for each name once however often the copies of the result are called: the
    // texts a delivery saw first stay what it delivers, and a slow lookup is paid once a name.
    static NoteLookup remembering(NoteLookup notes);

private:
    struct Pass;
    Pass collectInputs(const QString &text, const QString &name,
                       std::optional<QString> *clipboard) const;
    void expandInto(QStringView text, int depth, Pass &pass) const;
    bool fillOne(const QString &inside, int depth, Pass &pass) const;
    bool fillNote(const QString &name, int depth, Pass &pass) const;
    bool charge(qsizetype size, Pass &pass) const;
    QString date(const QString &argument) const;
    static int keyNamed(QStringView name);

    QDateTime m_now;
    ClipboardRead m_clipboard;
    QLocale m_locale;
    NoteLookup m_notes;
    InputAsk m_ask;
};
