// The hot-key code helpers and the store's reading defaults.
#include "store/macrostore.h"
#include "support/testenv.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestMacroStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsAndDecodes_data();
    void buildsAndDecodes();
    void keyPartKeepsMetaAndKeypadBits();
    void readsDefaults_data();
    void readsDefaults();
    void handWrittenCommas_data();
    void handWrittenCommas();

private:
    TestEnvironment m_env;
};

void TestMacroStore::buildsAndDecodes_data()
{
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("alt");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("Ctrl+Alt+A") << true << true << false << int(Qt::Key_A) << 0x0C000041
                                << QStringLiteral("Ctrl+Alt+A");
    QTest::newRow("Ctrl+Shift+F1") << true << false << true << int(Qt::Key_F1) << 0x07000030
                                   << QStringLiteral("Ctrl+Shift+F1");
    QTest::newRow("Alt+Shift+7") << false << true << true << int(Qt::Key_7) << 0x0A000037
                                 << QStringLiteral("Alt+Shift+7");
    QTest::newRow("F12 alone") << false << false << false << int(Qt::Key_F12) << 0x0100003B
                               << QStringLiteral("F12");
    QTest::newRow("no hot key") << false << false << false << 0 << 0 << QString();
}

void TestMacroStore::buildsAndDecodes()
{
    QFETCH(bool, ctrl);
    QFETCH(bool, alt);
    QFETCH(bool, shift);
    QFETCH(int, key);
    QFETCH(int, code);
    QFETCH(QString, text);

    QCOMPARE(MacroStore::buildCode(ctrl, alt, shift, key), code);
    QCOMPARE(MacroStore::hasCtrl(code), ctrl);
    QCOMPARE(MacroStore::hasAlt(code), alt);
    QCOMPARE(MacroStore::hasShift(code), shift);
    QCOMPARE(MacroStore::keyPart(code), key);
    QCOMPARE(MacroStore::codeText(code), text);
}

void TestMacroStore::keyPartKeepsMetaAndKeypadBits()
{
    // Only Ctrl, Alt and Shift are decoded; Meta and keypad stay with the key.
    const int key = int(Qt::MetaModifier) | int(Qt::KeypadModifier) | int(Qt::Key_5);
    const int code = MacroStore::buildCode(true, false, false, key);
    QCOMPARE(MacroStore::keyPart(code), key);
    QCOMPARE(MacroStore::KeyMask, int(0xF1FFFFFFu));
    QVERIFY(MacroStore::hasCtrl(code));
    QVERIFY(!MacroStore::hasAlt(code));
}

void TestMacroStore::readsDefaults_data()
{
    QTest::addColumn<QVariant>("stored"); // invalid: the key is not written at all
    QTest::addColumn<int>("code");

    QTest::newRow("missing") << QVariant() << 0;
    QTest::newRow("empty string of a new note") << QVariant(QString()) << 0;
    QTest::newRow("not a number") << QVariant(QStringLiteral("Ctrl+A")) << 0;
    QTest::newRow("number and junk") << QVariant(QStringLiteral("65abc")) << 0;
    QTest::newRow("integer") << QVariant(0x0C000041) << 0x0C000041;
    QTest::newRow("numeric text") << QVariant(QStringLiteral("201326657")) << 0x0C000041;
}

void TestMacroStore::readsDefaults()
{
    QFETCH(QVariant, stored);
    QFETCH(int, code);

    TestEnvironment::clearStore();
    {
        QSettings store;
        store.beginGroup(QStringLiteral("MasterMacros/M/Macros/N"));
        if (stored.isValid())
            store.setValue(MacroStore::ShortcutKey, stored);
    }
    QSettings store;
    store.beginGroup(QStringLiteral("MasterMacros/M/Macros/N"));
    QCOMPARE(MacroStore::readCode(store), code);
    QCOMPARE(MacroStore::readCode(store.value(MacroStore::ShortcutKey)), code);
    QCOMPARE(MacroStore::readText(store), QString()); // no text key either
}

void TestMacroStore::handWrittenCommas_data()
{
    // A text edited by hand, unquoted: the settings layer reads each comma as a list separator
    // and drops the spaces around it.
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("one comma") << QByteArray("Dear Sir, thanks") << "Dear Sir, thanks";
    QTest::newRow("several") << QByteArray("a, b, c") << "a, b, c";
    QTest::newRow("quoted") << QByteArray("\"Dear Sir, thanks\"") << "Dear Sir, thanks";
    QTest::newRow("no comma") << QByteArray("plain") << "plain";
    // The file cannot tell how many spaces stood around a comma.
    QTest::newRow("no space") << QByteArray("Dear Sir,thanks") << "Dear Sir, thanks";
    QTest::newRow("spaces around") << QByteArray("Dear Sir ,\t thanks") << "Dear Sir, thanks";
    QTest::newRow("trailing comma") << QByteArray("thanks,") << "thanks, ";
    QTest::newRow("lone comma") << QByteArray(",") << ", ";
}

void TestMacroStore::handWrittenCommas()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, text);

    // The store's own file and an exchanged file go through the same reader.
    TestEnvironment::clearStore();
    QTemporaryDir dir;
    const QString exchanged = dir.filePath(QStringLiteral("hand.mmacro"));
    const QString storeFile = QSettings().fileName();
    const QByteArray content =
        "[MasterMacros]\nM\\Macros\\N\\shortcut=0\nM\\Macros\\N\\text=" + value + "\n";
    for (const QString &path : {storeFile, exchanged}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QSettings store;
    QSettings file(exchanged, QSettings::IniFormat);
    for (QSettings *settings : {&store, &file}) {
        settings->beginGroup(QStringLiteral("MasterMacros/M/Macros/N"));
        QCOMPARE(MacroStore::readText(*settings), text);
    }
}

QTEST_MAIN(TestMacroStore)
#include "tst_macrostore.moc"
