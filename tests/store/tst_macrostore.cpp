// The store's reading defaults and its changes, without a window.
#include "support/testenv.h"

#include "store/macrostore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

class TestMacroStore final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void init() { TestEnvironment::clearStore(); }

    void readsHandWrittenFiles_data()
    {
        QTest::addColumn<QByteArray>("lines"); // the note's keys as written by hand
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("no keys") << QByteArray("description=x") << 0 << "";
        QTest::newRow("empty code") << QByteArray("shortcut=\ntext=plain") << 0 << "plain";
        QTest::newRow("word") << QByteArray("shortcut=ctrl+a\ntext=a,b") << 0 << "a, b";
        QTest::newRow("unquoted commas")
            << QByteArray("shortcut=67108929\ntext=Dear Sir,  thanks ,bye") << 67108929
            << "Dear Sir, thanks, bye";
        QTest::newRow("quoted comma") << QByteArray("shortcut=1\ntext=\"a, b\"") << 1 << "a, b";
    }
    void readsHandWrittenFiles()
    {
        QFETCH(QByteArray, lines);
        const MacroStore store;
        QFile file(store.fileName());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
        file.write("[MasterMacros]\nM\\Macros\\n\\" + lines.replace("\n", "\nM\\Macros\\n\\"));
        file.close();
        const MacroStore::Note note = store.note(QStringLiteral("M"), QStringLiteral("n"));
        QTEST(note.code, "code");
        QTEST(note.text, "text");
    }

    void changesReachTheFile()
    {
        MacroStore store;
        QVERIFY(store.addMaster("Work") && store.addNote("Work", "b") &&
                store.addNote("Work", "a"));
        QVERIFY(store.saveNote("Work", "b", 42, "<b>&amp;\n") &&
                store.saveNote("Work", "a", 42, "1"));
        QString text;
        QVERIFY(store.hasMaster("WORK") && store.textForCode("Work", 42, &text));
        QCOMPARE(text, "1"); // the first in store order: "a" before "b"
        QVERIFY(store.rename("Work", QString(), "Home") && store.rename("Home", "a", "c"));
        QVERIFY(store.remove("Home", "c") && store.addMaster("Gone") && store.remove("Gone"));

        // What another process reads: the file itself.
        QSettings onDisk(store.fileName(), QSettings::IniFormat);
        QCOMPARE(onDisk.value("MasterMacros/Home/Macros/b/text").toString(), "<b>&amp;\n");
        QCOMPARE(onDisk.value("MasterMacros/Home/Macros/b/shortcut").toInt(), 42);
        QCOMPARE(onDisk.value("MasterMacros/Home/description", 1).toString(), QString());
        QCOMPARE(TestEnvironment::storeDump(), QStringList{"Home/b|42|<b>&amp;\n"});
    }
};

QTEST_MAIN(TestMacroStore)
#include "tst_macrostore.moc"
