// The windows of the placeholders, offscreen: the editor's "Delivers:" line, which must neither
// freeze on notes that include each other ten wide nor make the window wider or taller, and the
// input window, which fits the screen however many fields it has and shows its whole title.
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "editor/noteeditor.h"
#include "mainwindow/inputsdlg.h"
#include "store/macrostore.h"

#include <QtTest>
#include <QtWidgets>

class TestFillInWindows final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    const QString Long = QString(80, 'y'); // a note's name

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void preview_data()
    {
        QTest::addColumn<QString>("text");
        // Each delivered line as shown; one ending in "…" is the start of an elided one.
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("warning"); // how it begins
        QTest::newRow("inputs and the caret")
            << "Hi {{input:Name}}{{cursor}}!" << QStringList{"Delivers: Hi <Name>‸!"} << "";
        QStringList thousand;
        for (int i = 1; i <= 1000; ++i)
            thousand << QString::number(i);
        QTest::newRow("the first lines only")
            << thousand.join('\n') << QStringList{"Delivers: 1", "2", "3", "…"} << "";
        QTest::newRow("a word wider than the window")
            << QString(5000, 'x') << QStringList{"Delivers: xxxxxxxxxx…"} << "";
        QTest::newRow("a long name in a warning")
            << "{{note:" + Long + "}}" << QStringList{"Delivers: {{note:yyyyyyyyyy…"}
            << "The Note \"yyyyyyyyyy";
        QTest::newRow("ten wide, eight deep")
            << "{{note:wide0}}" << QStringList{"Delivers: {{note:wide0}}"}
            << "The text would grow past 1,048,576 characters, so {{note:wide0}} and the "
               "placeholders after it were delivered as written.";
    }
    void preview()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QFETCH(QString, warning);
        TestEnvironment::clearStore();
        for (int i = 0; i < 8; ++i)
            TestEnvironment::writeNote("M", QString("wide%1").arg(i), 0,
                                       QString("{{note:wide%1}}").arg(i + 1).repeated(10));
        TestEnvironment::writeNote("M", "wide8", 0, "x");
        TestEnvironment::writeNote("M", Long, 0, "{{note:" + Long + "}}");
        TestEnvironment::writeNote("M", "note", 0, text);
        MacroStore store;
        ScriptedDialogs dialogs;
        NoteEditor editor;
        editor.attach(store, dialogs);
        editor.resize(600, 400);
        editor.show();
        const int narrowest = editor.minimumSizeHint().width();
        const int tallest = editor.minimumSizeHint().height();
        auto *preview = editor.findChild<QLabel *>("preview");
        editor.setFillIn(true);
        editor.showNote("M", "note");
        QTRY_VERIFY(preview->isVisible() && !preview->text().isEmpty());
        // However long the text, the editor asks for no more room than without the preview
        // (but the preview's few lines), and the lines follow it when it narrows.
        QCOMPARE(editor.minimumSizeHint().width(), narrowest);
        QVERIFY(editor.minimumSizeHint().height() <
                tallest + (lines.size() + 3) * preview->fontMetrics().lineSpacing());
        for (int width : {600, narrowest}) {
            editor.resize(width, 400);
            QTRY_COMPARE(editor.width(), width);
            const QStringList shown = preview->text().split('\n');
            QCOMPARE(shown.size(), lines.size() + (warning.isEmpty() ? 0 : 1));
            QVERIFY(shown.last().startsWith(warning));
            for (int i = 0; i < lines.size(); ++i) {
                QVERIFY(preview->fontMetrics().horizontalAdvance(shown[i]) <= preview->width());
                if (lines[i].endsWith(QChar(0x2026)))
                    QVERIFY2(shown[i].startsWith(lines[i].chopped(1)), qPrintable(shown[i]));
                else
                    QCOMPARE(shown[i], lines[i]);
            }
        }
    }

    void inputWindow_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("one field, a long name")
            << "Letter to the tax office about the second quarter" << QStringList{"Name"} << false;
        QStringList many;
        for (int i = 0; i < 1000; ++i)
            many << QString("Field %1").arg(i);
        QTest::newRow("a thousand fields") << "Letter" << many << true;
        QTest::newRow("a label wider than the screen")
            << "Letter" << QStringList{QString(2000, 'W')} << true;
    }
    void inputWindow()
    {
        QFETCH(QString, note);
        QFETCH(QStringList, labels);
        QFETCH(bool, scrolls);
        InputsDlg dialog(note, labels);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), "Keyquill — " + note);
        const QRect room = dialog.screen()->availableGeometry();
        QVERIFY(dialog.width() <= room.width() && dialog.height() <= room.height());
        // Room for the title beside the window manager's buttons.
        QVERIFY(dialog.width() >=
                std::min(room.width() * 9 / 10,
                         dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 100));
        auto *scroll = dialog.findChild<QScrollArea *>();
        QCOMPARE(scroll->verticalScrollBar()->maximum() > 0 ||
                     scroll->horizontalScrollBar()->maximum() > 0,
                 scrolls);
        // The last field can be reached.
        auto *last = dialog.findChild<QLineEdit *>(QString("input%1").arg(labels.size() - 1));
        scroll->ensureWidgetVisible(last);
        QVERIFY(!last->visibleRegion().isEmpty());
    }
};

QTEST_MAIN(TestFillInWindows)
#include "tst_fillinwindows.moc"
