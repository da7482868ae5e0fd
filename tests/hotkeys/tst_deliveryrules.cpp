// Which paste key a program gets, which hot keys can never fire, and where the user's choices
// are kept: rules without a window.
#include "hotkeys/consolekeys.h"
#include "hotkeys/pastekeytable.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/testenv.h"

#include <QSettings>
#include <QTest>

class TestDeliveryRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pasteKey_data();
    void pasteKey();
    void consoleKeys();
    void preferencesBesideTheMasterMacros();

private:
    TestEnvironment m_env;
};

void TestDeliveryRules::pasteKey_data()
{
    QTest::addColumn<QStringList>("wmClass");
    QTest::addColumn<QString>("userClass"); // one entry of the user's, or none when empty
    QTest::addColumn<int>("userStroke");
    QTest::addColumn<int>("stroke");
    QTest::newRow("VTE") << QStringList{"xfce4-terminal", "Xfce4-terminal"} << "" << 0
                         << PasteKeyTable::CtrlShiftV;
    QTest::newRow("xterm") << QStringList{"xterm", "XTerm"} << "" << 0
                           << PasteKeyTable::ShiftInsert;
    QTest::newRow("editor") << QStringList{"gedit", "Gedit"} << "" << 0 << PasteKeyTable::CtrlV;
    QTest::newRow("user's class beats built-in instance")
        << QStringList{"kitty", "Special"} << "SPECIAL" << PasteKeyTable::CtrlV
        << PasteKeyTable::CtrlV;
    QTest::newRow("unknown stroke ignored")
        << QStringList{"kitty", "kitty"} << "kitty" << 0x41 << PasteKeyTable::CtrlShiftV;
}

void TestDeliveryRules::pasteKey()
{
    QFETCH(QStringList, wmClass);
    QFETCH(QString, userClass);
    QFETCH(int, userStroke);
    QFETCH(int, stroke);
    QHash<QString, int> user;
    if (!userClass.isEmpty())
        user.insert(userClass, userStroke);
    QCOMPARE(PasteKeyTable(user).strokeFor(wmClass.at(0), wmClass.at(1)), stroke);
}

void TestDeliveryRules::consoleKeys()
{
    QVERIFY(ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_F1).toCombined()));
    QVERIFY(ConsoleKeys::isConsoleSwitchKey(
        (Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F12).toCombined()));
    QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::SHIFT | Qt::Key_F5).toCombined()));
    QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_F13).toCombined()));
    QVERIFY(!ConsoleKeys::isConsoleSwitchKey((Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined()));
}

void TestDeliveryRules::preferencesBesideTheMasterMacros()
{
    TestEnvironment::writeNote(QStringLiteral("M"), QStringLiteral("n"), 0, QStringLiteral("t"));
    QVERIFY(!Preferences::load().restoreClipboard()); // off until the user asks
    Preferences preferences;
    preferences.setRestoreClipboard(true);
    // A class with a group separator in it still reads back as one class.
    const QHash<QString, int> keys{{"my/term", PasteKeyTable::ShiftInsert},
                                   {"Editor", PasteKeyTable::CtrlV}};
    preferences.setPasteKeys(keys);
    QVERIFY(preferences.save());
    QCOMPARE(Preferences::load().pasteKeys(), keys);
    QSettings store;
    QStringList groups = store.childGroups();
    groups.sort();
    QCOMPARE(groups, QStringList({MacroStore::MasterMacrosGroup, Preferences::Group}));
    store.beginGroup(MacroStore::MasterMacrosGroup);
    QCOMPARE(store.childGroups(), QStringList({"M"}));
}

QTEST_MAIN(TestDeliveryRules)
#include "tst_deliveryrules.moc"
