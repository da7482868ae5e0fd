// Placeholders filled in without a window: a fixed clock and locale, a clipboard that counts its
// reads, notes that include each other (ten wide, too), inputs answered or cancelled, and keys
// pressed where they stand.
#include "core/fillin.h"

#include <QtTest>

Q_DECLARE_METATYPE(FillIn::KeyAt)

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
        row("format with colons and an offset", "{{date:dd HH:mm:+1d}}", "01 09:05");
        row("clipboard", "[{{clipboard}}] [{{clipboard}}]", "[copied] [copied]");
        // One press per character as seen: e with its accent, a thumb, a line break.
        row("cursor", "Dear {{cursor}}e\u0301\U0001F44D\n", "Dear e\u0301\U0001F44D\n", 3);
        row("second cursor is text", "{{cursor}}a{{cursor}}", "a{{cursor}}", 11);
        row("brace before a placeholder", "\\frac{{{cursor}}}{}", "\\frac{}{}", 3);
        row("escape", "{{{{date}} and {{{{", "{{date}} and {{");
        row("escape, then a brace before a placeholder", "{{{{{{{cursor}}}", "{{{}", 1);
        row("unknown and unclosed", "{{nope}} {{note:nobody}} {{date:yyyy",
            "{{nope}} {{note:nobody}} {{date:yyyy");
        row("input without a label", "{{input:}}", "{{input:}}");
        // Unclosed braces by the hundred thousand, all but the last: read once, not once each.
        const QString strewn = QString("{{ ").repeated(300000) + "}}";
        row("braces strewn", strewn, strewn);
        // Qt's formatter takes minutes over a format of a million characters.
        const QString format = "{{date:" + QString("yyyy").repeated(100) + "}}";
        row("a format too long", format, format);
        row("stray braces around", "{ {{date:yyyy}} }} {{a {{date:yy}}", "{ 2026 }} {{a 26");
        row("inputs once each, in order", "{{input:Name}}/{{input:Town}}/{{input:Name}}",
            "Ann/Paris/Ann", 0, 0, {"Name", "Town"});
        row("nested note with input and cursor", "{{note:sig}}!", "Regards,\nAnn !", 1, 0,
            {"Name"});
        row("input cancelled", "a {{note:sig}} {{input:Town}}", "", 0, 0, {"Name", "Town"});
        row("includes itself", "a {{note:self}} b", "a {{note:self}} b", 0, 1, {}, "self");
        row("includes itself through another", "{{note:ping}}", "{{note:ping}}", 0, 1);
        const QString loops = "{{note:loop0}}{{note:loop1}}{{note:loop2}}{{note:loop3}}";
        row("a few of many warnings", loops, loops, 0, 3);
        row("too deep", "{{note:deep0}}", "01234567{{note:deep8}}", 0, 1);
        // Ten wide: a million copies six deep, a hundred million eight deep. The limit is met
        // at once; that placeholder and every one after it stay as written, what came before
        // is filled in.
        row("ten wide, six deep", "{{note:wide2}}", "{{note:wide2}}", 0, 1, {}, "wide");
        row("ten wide, eight deep, after a hundred",
            "{{note:wide6}}|{{cursor}}{{note:wide0}}|{{input:Name}}",
            QString(100, 'x') + "|{{note:wide0}}|{{input:Name}}", 29, 1, {}, "wide");
        const QString longName = "{{note:" + QString(1000, 'n') + "}}";
        row("a long name past the limit", longName, longName, 0, 1, {}, "wide");
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
        for (int i = 0; i < 8; ++i)
            notes.insert(QString("wide%1").arg(i),
                         QString("{{note:wide%1}}").arg(i + 1).repeated(10));
        notes.insert("wide8", "x");
        for (int i = 0; i < 4; ++i)
            notes.insert(QString("loop%1").arg(i), QString("{{note:loop%1}}").arg(i));
        notes.insert(QString(1000, 'n'), "{{note:wide0}}");
        QHash<QString, int> lookups;
        fillIn.setNotes([&](const QString &note, QString *found) {
            ++lookups[note];
            *found = notes.value(note);
            return notes.contains(note);
        });
        QStringList askedFor;
        QString askedNote;
        fillIn.setInput([&](const QString &note, const QStringList &labels, QStringList *values) {
            askedNote = note;
            askedFor += labels;
            for (const QString &label : labels)
                *values << (label == "Name" ? "Ann" : "Paris");
            return !expected.isEmpty();
        });
        const FillIn::Result result = fillIn.expand(text, name);
        QCOMPARE(result.cancelled, expected.isEmpty());
        QCOMPARE(result.text, expected);
        QCOMPARE(askedFor, asked);
        QCOMPARE(askedNote, asked.isEmpty() ? QString() : name);
        for (auto it = lookups.cbegin(); it != lookups.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(it.key())); // once for both walks
        QCOMPARE(result.cursorLeft, cursorLeft);
        QCOMPARE(result.warnings.size(), warnings);
        for (const QString &warning : result.warnings)
            QVERIFY(warning.size() < 200); // the tray's tool tip shows them
        QCOMPARE(clipboardReads, expected.contains("copied") ? 1 : 0); // at most one round trip
        QCOMPARE(fillIn.inputs(text, name), asked); // what is asked before it is queued
    }

    // {{key:...}} stands for a key pressed where it stands: nothing of it is in the text.
    void keysWhereTheyStand_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QList<FillIn::KeyAt>>("keys");
        QTest::newRow("between and after")
            << "ab{{key:Left}}c{{key:Tab}}"
            << "abc" << QList<FillIn::KeyAt>{{2, Qt::Key_Left}, {3, Qt::Key_Tab}};
        QTest::newRow("from a note it includes")
            << "<{{note:keys}}>"
            << "<xy>" << QList<FillIn::KeyAt>{{2, Qt::Key_Return}, {3, Qt::Key_Backspace}};
        QTest::newRow("unknown key as written")
            << "{{key:Hyper}}{{key:}}"
            << "{{key:Hyper}}{{key:}}" << QList<FillIn::KeyAt>{};
    }
    void keysWhereTheyStand()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QList<FillIn::KeyAt>, keys);
        FillIn fillIn(QDateTime(), {});
        fillIn.setNotes([](const QString &name, QString *found) {
            *found = "x{{key:Return}}y{{key:Backspace}}";
            return name == "keys";
        });
        const FillIn::Result result = fillIn.expand(text);
        QCOMPARE(result.text, expected);
        QCOMPARE(result.keys, keys);
    }
};

QTEST_MAIN(TestFillIn)
#include "tst_fillin.moc"
