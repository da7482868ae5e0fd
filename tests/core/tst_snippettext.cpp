// Other snippet programs' texts as notes' texts, without files or windows: date formats and
// offsets, pressed keys, variables.
#include "core/snippettext.h"

#include <QtTest>

class TestSnippetText final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strftimeBecomesQtFormat_data()
    {
        QTest::addColumn<QString>("strftime");
        QTest::addColumn<QString>("qt");
        QTest::newRow("date") << "%Y-%m-%d"
                              << "yyyy-MM-dd";
        QTest::newRow("unpadded and words") << "%A, %-d. %b %y"
                                            << "dddd, d. MMM yy";
        QTest::newRow("12 hours") << "%I:%M %p"
                                  << "hh:mm AP";
        QTest::newRow("quote and letters") << "%T o'clock %%"
                                           << "HH:mm:ss' o''clock %'";
        QTest::newRow("no equivalent") << "%j"
                                       << "";
        QTest::newRow("cut short") << "%Y%"
                                   << "";
    }
    void strftimeBecomesQtFormat()
    {
        QFETCH(QString, strftime);
        QTEST(SnippetText::qtDateFormat(strftime), "qt");
    }

    void dayOffset_data()
    {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("none") << "0" << true << "";
        QTest::newRow("two days on") << "172800" << true << ":+2d";
        QTest::newRow("a day back") << " -86400 " << true << ":-1d";
        QTest::newRow("hours") << "3600" << false << "";
        QTest::newRow("beyond five digits") << "8640086400" << false << "";
        QTest::newRow("no number") << "1d" << false << "";
    }
    void dayOffset()
    {
        QFETCH(QString, seconds);
        QString suffix;
        const bool taken = SnippetText::dayOffset(seconds, &suffix);
        QTEST(taken, "taken");
        if (taken)
            QTEST(suffix, "suffix");
    }

    void autoKeyPhrase_data()
    {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("otherKeys");
        QTest::newRow("keys and cursor")
            << "Dear <cursor>,<enter><tab>x<left>"
            << "Dear {{cursor}},{{key:Return}}{{key:Tab}}x{{key:Left}}" << QStringList();
        QTest::newRow("no equivalent kept") << "a<alt>b<f12>"
                                            << "a<alt>b<f12>" << QStringList{"<alt>", "<f12>"};
        QTest::newRow("markup is text") << "<b>bold</b> <pre>"
                                        << "<b>bold</b> <pre>" << QStringList();
        QTest::newRow("braces stay text") << "{{date}}<end>"
                                          << "{{{{date}}{{key:End}}" << QStringList();
    }
    void autoKeyPhrase()
    {
        QFETCH(QString, phrase);
        QStringList otherKeys;
        QTEST(SnippetText::autoKeyPhrase(phrase, &otherKeys), "text");
        QTEST(otherKeys, "otherKeys");
    }

    void beeftextVariable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("placeholder");
        QTest::newRow("clipboard") << "#{clipboard}"
                                   << "clipboard"
                                   << "{{clipboard}}";
        QTest::newRow("date and time") << "#{dateTime}"
                                       << "dateTime"
                                       << "{{date}} {{time}}";
        QTest::newRow("formatted") << "#{dateTime:yyyy\\MM}"
                                   << "dateTime:yyyy\\MM"
                                   << "{{date:yyyy\\MM}}";
        QTest::newRow("escaped brace") << "#{input:a\\}b}"
                                       << "input:a}b"
                                       << "{{input:a}b}}";
        QTest::newRow("shifted date") << "#{dateTime:+1d:yyyy}"
                                      << "dateTime:+1d:yyyy"
                                      << "";
        QTest::newRow("unknown") << "#{upper:x}"
                                 << "upper:x"
                                 << "";
        QTest::newRow("unclosed") << "#{date"
                                  << "date"
                                  << "{{date}}";
    }
    void beeftextVariable()
    {
        QFETCH(QString, text);
        const SnippetText::BeeftextVariable variable = SnippetText::beeftextVariableAt(text, 0);
        QTEST(variable.body, "body");
        QCOMPARE(variable.end,
                 QTest::currentDataTag() == QByteArray("unclosed") ? -1 : text.size());
        QTEST(SnippetText::beeftextPlaceholder(variable.body), "placeholder");
    }
};

QTEST_GUILESS_MAIN(TestSnippetText)
#include "tst_snippettext.moc"
