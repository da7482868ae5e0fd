// The store in a folder of the user's choice: where each part is kept, writes that start from
// the disk, the watch on the file, bringing in another store, and finding conflict copies.
#include "support/testenv.h"

#include "store/conflictcopies.h"
#include "store/lastlivemaster.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storemerge.h"
#include "store/storewatcher.h"

#include <QtTest>

namespace {

void otherMachineWrites(const QString &file, const QStringList &notes, bool replace)
{
    QVERIFY(TestEnvironment::writeAsSyncTool(file, TestEnvironment::storeBytes(notes), replace));
}

QStringList dump(const MacroStore &store)
{
    return TestEnvironment::storeDump(store);
}

} // namespace

class TestStoreFolder : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_folder;
    QString m_file;

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        for (const QString &name : QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(m_folder.filePath(name));
        m_file = m_folder.filePath(MacroStore::FileName);
    }

    void partsKeptApart()
    {
        QCOMPARE(MacroStore::chosenFile(), QString());
        QCOMPARE(MacroStore().fileName(), QSettings().fileName());
        QVERIFY(Preferences::saveStoreFolder(m_folder.path()));
        QCOMPARE(MacroStore::chosenFile(), m_file);
        MacroStore store;
        QVERIFY(store.saveNote("Work", "hello", 0, "Hello"));
        Preferences preferences = Preferences::load();
        preferences.setRestoreClipboard(true);
        QVERIFY(preferences.save());
        QVERIFY(LastLiveMaster::write("Work"));
        QVERIFY(Preferences::saveKeyboardToken("token"));

        const QByteArray shared = TestEnvironment::fileBytes(m_file);
        const QByteArray local = TestEnvironment::fileBytes(QSettings().fileName());
        QVERIFY(shared.contains("[MasterMacros]"));
        QVERIFY(!shared.contains("Preferences"));
        QVERIFY(!local.contains("MasterMacros"));
        for (const char *key :
             {"storeFolder", "restoreClipboard", "lastLiveMasterMacro", "keyboardToken"})
            QVERIFY2(local.contains(key), key);
        QCOMPARE(Preferences::load().storeFolder(), m_folder.path());
    }

    void writesStartFromTheDisk_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("written in place") << false;
        QTest::newRow("replaced by a rename") << true;
    }
    void writesStartFromTheDisk()
    {
        QFETCH(bool, replace);
        MacroStore store(m_file);
        QVERIFY(store.saveNote("Work", "mine", 0, "a"));
        QCOMPARE(dump(store), QStringList{"Work/mine|0|a"});
        // Between this machine's read and its write, another one's change arrives.
        otherMachineWrites(m_file, {"Work/mine|0|a", "Work/theirs|0|from there"}, replace);
        QVERIFY(store.saveNote("Work", "mine", 0, "changed"));
        QCOMPARE(dump(MacroStore(m_file)),
                 (QStringList{"Work/mine|0|changed", "Work/theirs|0|from there"}));
    }

    void watcherSeesChanges_data() { writesStartFromTheDisk_data(); }
    void watcherSeesChanges()
    {
        QFETCH(bool, replace);
        MacroStore store(m_file);
        QVERIFY(store.saveNote("Work", "mine", 0, "a"));
        StoreWatcher watcher(store);
        watcher.watch(m_file);
        QSignalSpy changed(&watcher, &StoreWatcher::changed);
        // Another size: the settings layer knows a file by its size and time (to the ms).
        otherMachineWrites(m_file, {"Work/mine|0|bb"}, replace);
        QVERIFY(changed.wait(2000));
        QCOMPARE(dump(store), QStringList{"Work/mine|0|bb"});
        // The watch goes on with the file now there.
        const qsizetype seen = changed.count();
        otherMachineWrites(m_file, {"Work/mine|0|c", "Work/two|0|d"}, false);
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() > seen, 2000);
        watcher.watch(QString());
        otherMachineWrites(m_file, {"Work/mine|0|e"}, replace);
        QVERIFY(!changed.wait(1500));
    }

    void merge_data()
    {
        QTest::addColumn<QStringList>("ours");
        QTest::addColumn<QStringList>("theirs");
        QTest::addColumn<QStringList>("names"); // answers to the clash question
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("nothing new")
            << QStringList{"W/a|0|x"} << QStringList{"W/a|0|x"} << QStringList{}
            << int(StoreMerge::Outcome::Nothing) << QStringList{"W/a|0|x"};
        QTest::newRow("master and note missing")
            << QStringList{"W/a|0|x"} << QStringList{"H/c|0|z", "W/b|5|y"} << QStringList{}
            << int(StoreMerge::Outcome::Merged) << QStringList{"H/c|0|z", "W/a|0|x", "W/b|5|y"};
        QTest::newRow("note differs")
            << QStringList{"W/a|0|x"} << QStringList{"W/a|0|other"} << QStringList{"W 2"}
            << int(StoreMerge::Outcome::Merged) << QStringList{"W/a|0|x", "W 2/a|0|other"};
        QTest::newRow("name differs in case only")
            << QStringList{"W/a|0|x"} << QStringList{"w/b|0|y"} << QStringList{"w 2"}
            << int(StoreMerge::Outcome::Merged) << QStringList{"W/a|0|x", "w 2/b|0|y"};
        QTest::newRow("clash left unnamed")
            << QStringList{"W/a|0|x"} << QStringList{"H/c|0|z", "W/a|1|x"} << QStringList{}
            << int(StoreMerge::Outcome::Stopped) << QStringList{"W/a|0|x"};
    }
    void merge()
    {
        QFETCH(QStringList, ours);
        QFETCH(QStringList, theirs);
        QFETCH(QStringList, names);
        QFETCH(int, outcome);
        QFETCH(QStringList, result);
        otherMachineWrites(m_file, ours, false);
        const QString other = m_folder.filePath("other.conf");
        otherMachineWrites(other, theirs, false);
        MacroStore store(m_file);
        StoreMerge merge(store, [&names](const QString &) {
            return names.isEmpty() ? QString() : names.takeFirst();
        });
        QCOMPARE(int(merge.bringIn(MacroStore(other))), outcome);
        QCOMPARE(dump(MacroStore(m_file)), result);
        QCOMPARE(dump(MacroStore(other)), theirs);
    }

    void conflictCopiesFound()
    {
        const QStringList copies{
            "Keyquill (Laptop's conflicted copy 2026-12-07).conf",
            "Keyquill (conflicted copy 2026-12-07 101500).conf",
            "Keyquill.sync-conflict-20261207-101500-ABCDEF7.conf",
        };
        const QStringList others{"Keyquill.conf", "Keyquill.conf.tmp", "Other.sync-conflict-1.conf",
                                 ".syncthing.Keyquill.conf.tmp", "Keyquill.conf.damaged-1"};
        for (const QString &name : copies + others)
            otherMachineWrites(m_folder.filePath(name), {}, false);
        QStringList found;
        for (const QString &path : ConflictCopies::find(m_file))
            found << QFileInfo(path).fileName();
        QCOMPARE(found, copies);
    }
};

QTEST_GUILESS_MAIN(TestStoreFolder)
#include "tst_storefolder.moc"
