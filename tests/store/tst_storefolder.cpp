// The store in a folder of the user's choice: where each part is kept, writes that start from
// the disk, bringing in another store, and finding conflict copies.
#include "support/testenv.h"

#include "store/conflictcopies.h"
#include "store/lastlivemaster.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storemerge.h"

#include <QtTest>

class TestStoreFolder : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_folder;
    const QString m_file = m_folder.filePath(MacroStore::FileName);

    void write(const QString &file, const QStringList &notes, bool replace = false)
    {
        QVERIFY(
            TestEnvironment::writeAsSyncTool(file, TestEnvironment::storeBytes(notes), replace));
    }

private Q_SLOTS:
    void partsKeptApart()
    {
        QCOMPARE(MacroStore().fileName(), QSettings().fileName());
        QVERIFY(Preferences::saveStoreFolder(m_folder.path()));
        QVERIFY(MacroStore().saveNote("Work", "hello", 0, "Hello"));
        Preferences preferences = Preferences::load();
        preferences.setRestoreClipboard(true);
        QVERIFY(preferences.save() && LastLiveMaster::write("Work"));
        const QByteArray shared = TestEnvironment::fileBytes(m_file);
        const QByteArray local = TestEnvironment::fileBytes(QSettings().fileName());
        QVERIFY(shared.contains("[MasterMacros]") && !shared.contains("Preferences"));
        QVERIFY(!local.contains("MasterMacros"));
        for (const char *key : {"storeFolder", "restoreClipboard", "lastLiveMasterMacro"})
            QVERIFY2(local.contains(key), key);
        // A chosen folder that is gone is not made anew.
        const QString gone = m_folder.filePath("gone/Keyquill.conf");
        QVERIFY(!MacroStore(gone).addMaster("Work") &&
                !QFileInfo::exists(m_folder.filePath("gone")));
        TestEnvironment::clearStore();
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
        write(m_file, {"Work/mine|0|a"});
        QCOMPARE(store.notes("Work").size(), 1);
        // Between this machine's read and its write, another one's change arrives.
        write(m_file, {"Work/mine|0|a", "Work/theirs|0|from there"}, replace);
        QVERIFY(store.saveNote("Work", "mine", 0, "changed"));
        QCOMPARE(TestEnvironment::storeDump(MacroStore(m_file)),
                 (QStringList{"Work/mine|0|changed", "Work/theirs|0|from there"}));
    }

    void merge_data()
    {
        QTest::addColumn<QStringList>("theirs");
        QTest::addColumn<QString>("name"); // the answer to the clash question
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("result"); // beside ours, "W/a|0|x"
        using O = StoreMerge::Outcome;
        QTest::newRow("nothing new")
            << QStringList{"W/a|0|x"} << "" << int(O::Nothing) << QStringList{};
        QTest::newRow("missing") << QStringList{"W/b|5|y", "H/c|0|z"} << "" << int(O::Merged)
                                 << QStringList{"H/c|0|z", "W/b|5|y"};
        QTest::newRow("differs") << QStringList{"W/a|0|o"} << "W 2" << int(O::Merged)
                                 << QStringList{"W 2/a|0|o"};
        QTest::newRow("case clash")
            << QStringList{"w/b|0|y"} << "w 2" << int(O::Merged) << QStringList{"w 2/b|0|y"};
        QTest::newRow("unnamed") << QStringList{"H/c|0|z", "W/a|1|x"} << "" << int(O::Stopped)
                                 << QStringList{};
    }
    void merge()
    {
        QFETCH(QStringList, theirs);
        QFETCH(QString, name);
        QFETCH(int, outcome);
        QFETCH(QStringList, result);
        write(m_file, {"W/a|0|x"});
        // A file of its own each: the settings layer knows a file by its size and time (to the
        // ms), which two rows' files may share.
        const QString other = m_folder.filePath(QTest::currentDataTag() + QStringLiteral(".conf"));
        write(other, theirs);
        MacroStore store(m_file);
        StoreMerge merge(store, [&name](const QString &) { return name; });
        QCOMPARE(int(merge.bringIn(MacroStore(other))), outcome);
        result << "W/a|0|x";
        result.sort();
        QStringList dump = TestEnvironment::storeDump(MacroStore(m_file));
        dump.sort();
        QCOMPARE(dump, result);
    }

    void conflictCopiesFound()
    {
        const QStringList copies{"Keyquill (Laptop's conflicted copy 2026-12-07).conf",
                                 "Keyquill (conflicted copy 2026-12-07 101500).conf",
                                 "Keyquill.sync-conflict-20261207-101500-ABCDEF7.conf"};
        for (const QString &name :
             copies + QStringList{"Keyquill.conf.tmp", "Other.sync-conflict-1.conf"})
            write(m_folder.filePath(name), {});
        QStringList found;
        for (const QString &path : ConflictCopies::find(m_file))
            found << QFileInfo(path).fileName();
        QCOMPARE(found, copies);
    }
};

QTEST_GUILESS_MAIN(TestStoreFolder)
#include "tst_storefolder.moc"
