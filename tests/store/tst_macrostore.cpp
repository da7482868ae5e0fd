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

    void decodesCodes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("Ctrl+Alt+A") << MacroStore::buildCode(true, true, false, Qt::Key_A)
                                    << int(Qt::Key_A) << "Ctrl+Alt+A";
        QTest::newRow("Shift+F12") << MacroStore::buildCode(false, false, true, Qt::Key_F12)
                                   << int(Qt::Key_F12) << "Shift+F12";
        // Bits outside Ctrl, Alt and Shift stay with the key, so such a code finds no list entry.
        const int metaKeypad5 = int(Qt::META) | int(Qt::KeypadModifier) | int(Qt::Key_5);
        QTest::newRow("Meta+Keypad 5") << metaKeypad5 << metaKeypad5 << "Meta+Num+5";
        QTest::newRow("none") << 0 << 0 << "";
    }
    void decodesCodes()
    {
        QFETCH(int, code);
        QFETCH(int, key);
        QFETCH(QString, text);
        QCOMPARE(MacroStore::keyPart(code), key);
        QCOMPARE(MacroStore::codeText(code), text);
    }

    void readsDefaults_data()
    {
        QTest::addColumn<QString>("shortcut"); // null: no key at all
        QTest::addColumn<QString>("text");     // as written in the file by hand
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("readText");
        QTest::newRow("missing") << QString() << QString() << 0 << "";
        QTest::newRow("empty") << "" << "plain" << 0 << "plain";
        QTest::newRow("word") << "ctrl+a" << "a,b" << 0 << "a, b";
        QTest::newRow("unquoted commas") << "67108929" << "Dear Sir,  thanks ,bye" << 67108929
                                         << "Dear Sir, thanks, bye";
        QTest::newRow("quoted comma") << "1" << "\"a, b\"" << 1 << "a, b";
    }
    void readsDefaults()
    {
        QFETCH(QString, shortcut);
        QFETCH(QString, text);
        const MacroStore store;
        {
            QFile file(store.fileName());
            QVERIFY(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
            file.write("[MasterMacros]\nM\\Macros\\n\\text=" + text.toUtf8() + '\n');
            if (!shortcut.isNull())
                file.write("M\\Macros\\n\\shortcut=" + shortcut.toUtf8() + '\n');
        }
        const MacroStore::Note note = store.note(QStringLiteral("M"), QStringLiteral("n"));
        QTEST(note.code, "code");
        QTEST(note.text, "readText");
    }

    void changesReachTheFile()
    {
        MacroStore store;
        const QString m = QStringLiteral("Work");
        QVERIFY(store.addMaster(m));
        QVERIFY(store.addNote(m, QStringLiteral("b")));
        QVERIFY(store.addNote(m, QStringLiteral("a")));
        QVERIFY(store.saveNote(m, QStringLiteral("b"), 42, QStringLiteral("<b>&amp;\n")));
        QVERIFY(store.saveNote(m, QStringLiteral("a"), 42, QStringLiteral("first")));
        QVERIFY(store.hasMaster(QStringLiteral("WORK")));
        QString text;
        QVERIFY(store.textForCode(m, 42, &text));
        QCOMPARE(text, QStringLiteral("first")); // store order: "a" before "b"

        QVERIFY(store.rename(m, QString(), QStringLiteral("Home")));
        QVERIFY(store.rename(QStringLiteral("Home"), QStringLiteral("a"), QStringLiteral("c")));
        QVERIFY(store.remove(QStringLiteral("Home"), QStringLiteral("c")));
        QVERIFY(store.addMaster(QStringLiteral("Gone")));
        QVERIFY(store.remove(QStringLiteral("Gone")));

        // What another process reads: the file itself.
        QSettings onDisk(store.fileName(), QSettings::IniFormat);
        QCOMPARE(onDisk.value("MasterMacros/Home/Macros/b/text").toString(), "<b>&amp;\n");
        QCOMPARE(onDisk.value("MasterMacros/Home/Macros/b/shortcut").toInt(), 42);
        QCOMPARE(onDisk.value("MasterMacros/Home/description", 1).toString(), QString());
        onDisk.beginGroup(QStringLiteral("MasterMacros"));
        QCOMPARE(onDisk.childGroups(), QStringList{"Home"});
        QCOMPARE(TestEnvironment::storeDump(), QStringList{"Home/b|42|<b>&amp;\n"});
    }
};

QTEST_MAIN(TestMacroStore)
#include "tst_macrostore.moc"
