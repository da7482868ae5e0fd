// Placeholders filled in without a window: a fixed clock and locale, a clipboard that counts its
// reads, notes that include each other, and inputs answered or cancelled.
#include "hotkeys/fillin.h"

#include <QtTest>

class TestFillIn final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void expand_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");     // of the note delivered
        QTest::addColumn<QString>("expected"); // "": the user cancels the inputs
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("cursorLeft");
        QTest::addColumn<int>("warnings");
        const auto row = [](const char *tag, const QString &text, const QString &expected,
                            int cursorLeft = 0, int warnings = 0, const QStringList &asked = {},
                            const QString &name = {}) {
            QTest::newRow(tag) << text << name << expected << asked << cursorLeft << warnings;
        };
        row("plain text", "Dear reader,\n\tyours", "Dear reader,\n\tyours");
        row("locale date and time", "{{date}} {{time}}", "31/01/2026 09:05");
        row("format with colons, names", "{{date:dddd d MMMM, HH:mm}}",
            "Saturday 31 January, 09:05");
        row("days and weeks, month ends", "{{date:dd.MM.:+3d}} {{date:dd.MM.:-1w}}",
            "03.02. 24.01.");
        row("a month on from the 31st", "{{date:yyyy-MM-dd:+1M}}", "2026-02-28");
        row("offset, locale format", "{{date::+1d}}", "01/02/2026");
        row("clipboard", "[{{clipboard}}] [{{clipboard}}]", "[copied] [copied]");
        // One press per character as seen: e with its accent, a thumb, a line break.
        row("cursor", "Dear {{cursor}}e\u0301\U0001F44D\n", "Dear e\u0301\U0001F44D\n", 3);
        row("second cursor is text", "{{cursor}}a{{cursor}}", "a{{cursor}}", 11);
        row("escape", "{{{{date}} and {{{{", "{{date}} and {{");
        row("unknown and unclosed", "{{nope}} {{note:nobody}} {{date:yyyy",
            "{{nope}} {{note:nobody}} {{date:yyyy");
        row("stray braces around", "{ {{date:yyyy}} }} {{a {{date:yy}}", "{ 2026 }} {{a 26");
        row("inputs once each, in order", "{{input:Name}}/{{input:Town}}/{{input:Name}}",
            "Ann/Paris/Ann", 0, 0, {"Name", "Town"});
        row("nested note with input and cursor", "{{note:sig}}!", "Regards,\nAnn !", 1, 0,
            {"Name"});
        row("input cancelled", "a {{note:sig}} {{input:Town}}", "", 0, 0, {"Name", "Town"});
        row("includes itself", "a {{note:self}} b", "a {{note:self}} b", 0, 1, {}, "self");
        row("includes itself through another", "{{note:ping}}", "{{note:ping}}", 0, 1);
        row("too deep", "{{note:deep0}}", "01234567{{note:deep8}}", 0, 1);
    }

    void expand()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(QStringList, asked);
        QFETCH(int, cursorLeft);
        QFETCH(int, warnings);
        int clipboardReads = 0;
        const auto clipboard = [&clipboardReads] {
            ++clipboardReads;
            return QString("copied");
        };
        FillIn fillIn(QDateTime(QDate(2026, 1, 31), QTime(9, 5, 42)), clipboard,
                      QLocale(QLocale::English, QLocale::UnitedKingdom));
        QHash<QString, QString> notes{{"sig", "Regards,\n{{input:Name}} {{cursor}}"},
                                      {"self", "a {{note:self}} b"},
                                      {"ping", "{{note:pong}}"},
                                      {"pong", "{{note:ping}}"}};
        for (int i = 0; i < 10; ++i)
            notes.insert(QString("deep%1").arg(i), QString("%1{{note:deep%2}}").arg(i).arg(i + 1));
        fillIn.setNotes([&notes](const QString &note, QString *found) {
            *found = notes.value(note);
            return notes.contains(note);
        });
        QStringList askedFor;
        fillIn.setInput([&](const QStringList &labels, QStringList *values) {
            askedFor += labels;
            for (const QString &label : labels)
                *values << (label == "Name" ? "Ann" : "Paris");
            return !expected.isEmpty();
        });
        const FillIn::Result result = fillIn.expand(text, name);
        QCOMPARE(result.cancelled, expected.isEmpty());
        QCOMPARE(result.text, expected);
        QCOMPARE(askedFor, asked);
        QCOMPARE(result.cursorLeft, cursorLeft);
        QCOMPARE(result.warnings.size(), warnings);
        QCOMPARE(clipboardReads, expected.contains("copied") ? 1 : 0); // at most one round trip
    }
};

QTEST_MAIN(TestFillIn)
#include "tst_fillin.moc"
