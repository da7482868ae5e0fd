// The preferences: stored beside the master macros, never among them, and read back.
#include "hotkeys/pastekeytable.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/testenv.h"

#include <QSettings>
#include <QTest>

class TestPreferences final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripOutsideTheMasterMacros();

private:
    TestEnvironment m_env;
};

void TestPreferences::roundTripOutsideTheMasterMacros()
{
    TestEnvironment::writeNote(QStringLiteral("M"), QStringLiteral("n"), 0, QStringLiteral("t"));
    QVERIFY(!Preferences::load().restoreClipboard()); // off until the user asks
    Preferences preferences;
    preferences.setRestoreClipboard(true);
    // A class with a group separator in it still reads back as one class.
    const QHash<QString, int> keys{{QStringLiteral("my/term"), PasteKeyTable::ShiftInsert},
                                   {QStringLiteral("Editor"), PasteKeyTable::CtrlV}};
    preferences.setPasteKeys(keys);
    QVERIFY(preferences.save());

    const Preferences read = Preferences::load();
    QVERIFY(read.restoreClipboard());
    QCOMPARE(read.pasteKeys(), keys);
    QSettings store;
    QStringList groups = store.childGroups();
    groups.sort();
    QCOMPARE(groups, QStringList({MacroStore::MasterMacrosGroup, Preferences::Group}));
    store.beginGroup(MacroStore::MasterMacrosGroup);
    QCOMPARE(store.childGroups(), QStringList({QStringLiteral("M")}));
}

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
