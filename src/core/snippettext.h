#pragma once

#include <QString>
#include <QStringList>

// How other snippet programs' texts read as a note's: their date formats, offsets, pressed keys
// and variables as this program's placeholders. Pure text in, text out; the readers report
// what has no equivalent.
class SnippetText final
{
public:
    // Text that is to arrive as written: "{{" doubled so the fill-in reads no placeholder in it.
    static QString literal(QString text);

    // A strftime format as a Qt date format; "" when it uses a conversion Qt has none for.
    static QString qtDateFormat(const QString &strftime);
    // A date offset in seconds as the fill-in's offset in days (":+2d"), "" for none; false when
    // it is no whole number of days the fill-in can take.
    static bool dayOffset(const QString &seconds, QString *suffix);

    // An AutoKey phrase as a note's text: its keys (<left>, <enter>, ...) as {{key:...}}, <cursor>
    // as {{cursor}}. `otherKeys` gets the keys pressed there that have no equivalent here, as
    // written ("<alt>"); anything else in angle brackets is text.
    static QString autoKeyPhrase(const QString &phrase, QStringList *otherKeys);

    // One Beeftext #{...} variable from `start` (at its '#'): its body with "\}" and "\\"
    // resolved, and `end` just past the closing brace, -1 when there is none.
    struct BeeftextVariable
    {
        QString body;
        qsizetype end = -1;
    };
    static BeeftextVariable beeftextVariableAt(const QString &text, qsizetype start);
    // The placeholder a Beeftext variable other than #{combo:...} becomes, "" when there is none.
    static QString beeftextPlaceholder(const QString &body);
};
