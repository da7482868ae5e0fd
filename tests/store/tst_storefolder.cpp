// The store in a folder of the user's choice: where each part is kept, writes that start from
// the disk, bringing in another store, and finding conflict copies.
#include "support/testenv.h"

#include "store/conflictcopies.h"
#include "store/lastlivemaster.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storefile.h"
#include "store/storemerge.h"
#include "store/storemirror.h"
#include "store/storeprints.h"
#include "store/storewatcher.h"
#include "store/storewrite.h"

#include <memory>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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

    // Another machine's change arrives while this one's is being made: it is made again on top.
    void aChangeMadeAgainOnWhatArrived_data() { writesStartFromTheDisk_data(); }
    void aChangeMadeAgainOnWhatArrived()
    {
        QFETCH(bool, replace);
        write(m_file, {"Work/mine|0|a", "Work/gone|0|g"});
        StoreMirror mirror(m_file, StoreMirror::Role::Store);
        {
            StoreWrite change({"MasterMacros/Work/Macros/mine", "MasterMacros/Work/Macros/gone"},
                              &mirror);
            change.settings().setValue("MasterMacros/Work/Macros/mine/text", "changed");
            change.settings().remove("MasterMacros/Work/Macros/gone");
            write(m_file, {"Work/mine|0|a", "Work/gone|0|g", "Work/theirs|0|t"}, replace);
            QVERIFY(change.commit());
        }
        QCOMPARE(TestEnvironment::storeDump(MacroStore(m_file)),
                 (QStringList{"Work/mine|0|changed", "Work/theirs|0|t"}));
        QCOMPARE(mirror.takeNews(), QString());
        const QStringList copies = QDir(m_folder.path()).entryList({"*.damaged-*"});
        for (const QString &copy : copies)
            QFile::remove(m_folder.filePath(copy));
        QCOMPARE(copies, QStringList());
    }

    // Another version of the store brought in: two-way (no base, "-"), or three-way against
    // the version both started from.
    void merge_data()
    {
        QTest::addColumn<QStringList>("ours");
        QTest::addColumn<QStringList>("base");
        QTest::addColumn<QStringList>("theirs");
        QTest::addColumn<QString>("name"); // the answer to the clash question
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("result");
        using O = StoreMerge::Outcome;
        const QStringList a{"W/a|0|x"};
        const QStringList none{"-"};
        const auto row = [](const char *tag, const QStringList &ours, const QStringList &base,
                            const QStringList &theirs, const char *name, O outcome,
                            const QStringList &result) {
            QTest::newRow(tag) << ours << base << theirs << QString(name) << int(outcome) << result;
        };
        row("nothing new", a, none, a, "", O::Nothing, a);
        row("missing", a, none, {"W/b|5|y", "H/c|0|z"}, "", O::Merged,
            {"H/c|0|z", "W/a|0|x", "W/b|5|y"});
        row("differs", a, none, {"W/a|0|o"}, "W 2", O::Merged, {"W 2/a|0|o", "W/a|0|x"});
        row("case clash", a, none, {"w/b|0|y"}, "w 2", O::Merged, {"W/a|0|x", "w 2/b|0|y"});
        // Brought in before (here, or on another machine from the same copy): not again.
        row("held under another name", a, none, {"Other/a|0|x"}, "", O::Nothing, a);
        row("case clash, held", a, none, {"w/a|0|x"}, "", O::Nothing, a);
        row("unnamed", a, none, {"H/c|0|z", "W/a|1|x"}, "", O::Stopped, a);
        row("no base: nothing taken out", {"W/a|0|x", "W/b|0|y"}, none, a, "", O::Nothing,
            {"W/a|0|x", "W/b|0|y"});

        const QStringList ab{"W/a|0|x", "W/b|0|y"};
        row("changed there only", ab, ab, {"W/a|0|x2", "W/b|0|y"}, "", O::Merged,
            {"W/a|0|x2", "W/b|0|y"});
        row("hot key changed there only", ab, ab, {"W/a|7|x", "W/b|0|y"}, "", O::Merged,
            {"W/a|7|x", "W/b|0|y"});
        row("changed here only", {"W/a|0|x2"}, a, a, "", O::Nothing, {"W/a|0|x2"});
        row("changed on both sides", {"W/a|0|x2"}, a, {"W/a|0|x3"}, "W 2", O::Merged,
            {"W 2/a|0|x3", "W/a|0|x2"});
        row("added on both sides, differently", {"W/a|0|x", "W/n|0|mine"}, a,
            {"W/a|0|x", "W/n|0|theirs"}, "W 2", O::Merged,
            {"W 2/n|0|theirs", "W/a|0|x", "W/n|0|mine"});
        row("taken out there", ab, ab, a, "", O::Merged, a);
        row("taken out there, changed here", {"W/a|0|x", "W/b|0|y2"}, ab, a, "", O::Nothing,
            {"W/a|0|x", "W/b|0|y2"});
        row("taken out here, changed there", a, ab, {"W/a|0|x", "W/b|0|y2"}, "", O::Merged,
            {"W/a|0|x", "W/b|0|y2"});
        row("taken out here, not changed there", a, ab, ab, "", O::Nothing, a);
        const QStringList home{"H/g|0|g", "H/h|0|h", "W/a|0|x"};
        row("master macro taken out there", home, home, a, "", O::Merged, a);
        row("master macro taken out there, a note changed here", {"H/g|0|g", "H/h|0|h2", "W/a|0|x"},
            home, a, "", O::Merged, {"H/h|0|h2", "W/a|0|x"});
        row("master macro taken out here, a note changed there", a, home,
            {"H/g|0|g", "H/h|0|h2", "W/a|0|x"}, "", O::Merged, {"H/h|0|h2", "W/a|0|x"});
        row("master macro renamed there", home, home, {"Home/g|0|g", "Home/h|0|h", "W/a|0|x"}, "",
            O::Merged, {"Home/g|0|g", "Home/h|0|h", "W/a|0|x"});
    }
    void merge()
    {
        QFETCH(QStringList, ours);
        QFETCH(QStringList, base);
        QFETCH(QStringList, theirs);
        QFETCH(QString, name);
        QFETCH(int, outcome);
        QFETCH(QStringList, result);
        write(m_file, ours);
        // Files of their own each: the settings layer knows a file by its size and time (to the
        // ms), which two rows' files may share.
        const QString tag = m_folder.filePath(QTest::currentDataTag());
        write(tag + ".conf", theirs);
        std::optional<StorePrints::Version> known;
        if (base != QStringList{"-"}) {
            write(tag + ".base", base);
            known = MacroStore(tag + ".base", MacroStore::Role::ConflictCopy).prints();
        }
        MacroStore store(m_file);
        StoreMerge merge(store, [&name](const QString &) { return name; });
        const MacroStore from(tag + ".conf", MacroStore::Role::ConflictCopy);
        QCOMPARE(int(merge.bringIn(from, known)), outcome);
        QStringList dump = TestEnvironment::storeDump(MacroStore(m_file));
        dump.sort();
        QCOMPARE(dump, result);
    }

    // Two machines over folders of their own that a sync tool keeps in step (here: it copies
    // the file), both off line a while: each edits a note, adds one and edits one the other
    // edits too. Back on line the sync tool keeps one version in the store and the other in a
    // conflict copy on both, and each machine brings the copy in.
    void offlineOnBothSides_data()
    {
        QTest::addColumn<int>("setUpOn"); // the machine the notes were made on
        QTest::addColumn<int>("kept");    // the machine whose version the sync tool kept
        QTest::addColumn<bool>("baseLost");
        QTest::newRow("set up here, this version kept") << 0 << 0 << false;
        QTest::newRow("set up here, the other version kept") << 0 << 1 << false;
        QTest::newRow("set up there, this version kept") << 1 << 0 << false;
        QTest::newRow("set up there, the other version kept") << 1 << 1 << false;
        QTest::newRow("what was known lost: two-way") << 0 << 1 << true;
    }
    void offlineOnBothSides()
    {
        QFETCH(int, setUpOn);
        QFETCH(int, kept);
        QFETCH(bool, baseLost);
        QTemporaryDir folders[2];
        const QString side[2] = {"a", "b"};
        std::unique_ptr<MacroStore> machine[2];
        const auto file = [&](int m) { return folders[m].filePath(MacroStore::FileName); };
        // Each follows its folder from before the notes were made (a folder taken on with notes
        // in it is known from then on only).
        const auto start = [&] {
            for (int m : {0, 1}) {
                machine[m] = std::make_unique<MacroStore>(file(m));
                machine[m]->masters();
            }
        };
        // The sync tool passes one machine's file to the other, which reads it.
        const auto sync = [&](int from) {
            write(file(1 - from), TestEnvironment::storeDump(MacroStore(file(from))), true);
            machine[1 - from]->masters();
        };
        start();
        for (int i = 1; i <= 4; ++i)
            QVERIFY(machine[setUpOn]->saveNote("N", QStringLiteral("n%1").arg(i), 0, "as it was"));
        sync(setUpOn);
        for (int m : {0, 1}) {
            const QString from = "from " + side[m];
            QVERIFY(machine[m]->saveNote("N", m == 0 ? "n2" : "n1", 0, from) &&
                    machine[m]->saveNote("N", "n3", 0, from) &&
                    machine[m]->saveNote("N", side[m] + "1", 0, side[m] + "1"));
        }
        if (baseLost)
            QVERIFY(QDir(QFileInfo(QSettings().fileName()).absolutePath() + "/Keyquill.bases")
                        .removeRecursively());
        start(); // both started again
        const QStringList lost = TestEnvironment::storeDump(MacroStore(file(1 - kept)));
        sync(kept);
        QStringList expected{"N/a1|0|a1",
                             "N/b1|0|b1",
                             "N/n1|0|from b",
                             "N/n2|0|from a",
                             "N/n4|0|as it was",
                             "Kept/n3|0|from " + side[1 - kept],
                             "N/n3|0|from " + side[kept]};
        if (baseLost) // every note that differs comes in, old texts too
            expected = TestEnvironment::storeDump(MacroStore(file(kept))) +
                       QStringList{"N/a1|0|a1", "Kept/n1|0|as it was", "Kept/n2|0|from a",
                                   "Kept/n3|0|from a"};
        for (int m : {0, 1}) {
            const QString copy = folders[m].filePath("Keyquill.sync-conflict-1-2-X.conf");
            write(copy, lost);
            const MacroStore from(copy, MacroStore::Role::ConflictCopy);
            StoreMerge merge(*machine[m], [](const QString &) { return QString("Kept"); });
            QCOMPARE(merge.bringIn(from, machine[m]->baseFor(from)), StoreMerge::Outcome::Merged);
            QStringList dump = TestEnvironment::storeDump(*machine[m]);
            dump.sort();
            expected.sort();
            QCOMPARE(dump, expected);
        }
    }

    // What others may put in the folder in the store's place: nothing is read from it, written to
    // it or copied from it, and the user is told why.
    void refusedInTheStoresPlace_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("told");
        QTest::newRow("link out of the folder") << "link"
                                                << "it is a symbolic link";
        QTest::newRow("named pipe") << "pipe"
                                    << "it is a named pipe (FIFO)";
        QTest::newRow("folder") << "folder"
                                << "it is a folder";
        QTest::newRow("past the cap") << "large"
                                      << "it is larger than 1 KiB, the most Keyquill reads";
    }
    void refusedInTheStoresPlace()
    {
        QFETCH(QString, what);
        QFETCH(QString, told);
        QFile::remove(m_file);
        QTemporaryDir outside;
        const QString secret = outside.filePath("id_ed25519");
        const QByteArray key = TestEnvironment::storeBytes({"Key/k|0|secret"});
        write(secret, {"Key/k|0|secret"});
        if (what == "link")
            QVERIFY(QFile::link(secret, m_file));
        else if (what == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(m_file).constData(), 0600), 0);
        else if (what == "folder")
            QVERIFY(QDir().mkdir(m_file));
        else
            write(m_file, {"Work/n|0|" + QString(2000, 'x')});
        const qint64 cap = StoreFile::sizeCap();
        StoreFile::setSizeCap(1024);
        const QStringList before = QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::System);
        ::alarm(20); // a read that blocks ends the test here
        {
            MacroStore store(m_file);
            QCOMPARE(store.masters(), QStringList());
            QVERIFY2(store.problem().contains(told), qPrintable(store.problem()));
            QVERIFY(store.takeNews().contains(told));
            QVERIFY(!store.saveNote("Work", "n", 0, "mine"));
            QVERIFY2(store.cannotBeWritten().contains(told), qPrintable(store.cannotBeWritten()));
        }
        ::alarm(0);
        StoreFile::setSizeCap(cap);
        QCOMPARE(QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::System), before);
        QCOMPARE(TestEnvironment::fileBytes(secret), key);
        QVERIFY(QFileInfo(m_file).isDir() ? QDir().rmdir(m_file) : QFile::remove(m_file));
    }

    // A folder that went away (a share no longer mounted) is not made anew, and the user is told.
    void refusedWhereTheFolderWent()
    {
        auto gone = std::make_unique<QTemporaryDir>();
        const QString file = gone->filePath(MacroStore::FileName);
        write(file, {"Work/n|0|hello"});
        MacroStore store(file);
        QCOMPARE(store.masters(), QStringList{"Work"});
        const QString folder = gone->path();
        gone.reset();
        QVERIFY(!store.saveNote("Work", "n", 0, "mine"));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY2(store.cannotBeWritten().endsWith("(the folder " + folder + " is not there)"),
                 qPrintable(store.cannotBeWritten()));
    }

    // Another program truncates the store and writes it again, in bursts, now and then stopping
    // for a moment after truncating it or half way through, while this one saves; before each of
    // its writes it counts its notes in the file. A save based on a read of the file part way
    // through its writing leaves fewer.
    void savesAroundAnInPlaceWriter()
    {
        QStringList theirs;
        for (int i = 0; i < 1000; ++i)
            theirs << QStringLiteral("Writer/w%1|0|%2").arg(i).arg(QString(40, 'w'));
        const QString version = m_folder.filePath("version");
        write(version, theirs);
        write(m_file, theirs);
        const QString count = "n=$(grep -c '^Writer.Macros.w.*text=' \"$1\"); "
                              "[ \"$n\" = 1000 ] || echo \"lost $n\"; ";
        QProcess writer;
        writer.start("/bin/sh", {"-c",
                                 "for burst in $(seq 8); do for i in $(seq 10); do " + count +
                                     "cat \"$2\" >\"$1\"; done; " + count +
                                     "{ sleep 0.1; cat \"$2\"; } >\"$1\"; " + count +
                                     "{ head -c 20000 \"$2\"; sleep 0.1; tail -c +20001 \"$2\"; "
                                     "} >\"$1\"; sleep 0.1; done",
                                 "writer", m_file, version});
        QVERIFY(writer.waitForStarted());
        MacroStore store(m_file);
        int saved = 0;
        int refused = 0;
        for (int i = 0; !writer.waitForFinished(1); ++i)
            ++(store.saveNote("Mine", QString::number(i), 0, "mine") ? saved : refused);
        QCOMPARE(writer.readAll(), QByteArray());
        QVERIFY(saved > 0);
        qDebug("%d saves, %d refused", saved, refused);
        const QStringList left = TestEnvironment::storeDump(MacroStore(m_file));
        for (const QString &note : std::as_const(theirs))
            QVERIFY2(left.contains(note), qPrintable(note));
        // A change made again on what the writer wrote is not what was read from the file.
        QCOMPARE(QDir(m_folder.path()).entryList({"*.damaged-*"}), QStringList());
        QFile::remove(version);
    }

    // On a local file system every change is told without a poll: written in place, replaced,
    // replaced while a reader holds the old file open (a watch stays on that one), the folder
    // gone (polled meanwhile) and back.
    void changesToldWithoutAPoll_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("written in place") << QStringList{"write", "write"};
        QTest::newRow("replaced") << QStringList{"replace", "replace", "write"};
        QTest::newRow("replaced while held open") << QStringList{"hold", "replace", "write"};
        QTest::newRow("folder gone and back") << QStringList{"gone", "replace", "write"};
    }
    void changesToldWithoutAPoll()
    {
        QFETCH(QStringList, steps);
        // Files the store need not make private: no notice of that mixes with the writes.
        const mode_t mask = ::umask(077);
        const QString folder = m_folder.filePath("watched");
        const QString file = folder + "/" + MacroStore::FileName;
        QVERIFY(QDir().mkpath(folder));
        write(file, {"M/a|0|0"});
        const MacroStore store(file);
        StoreWatcher watcher(store);
        watcher.watch(file);
        QVERIFY(!watcher.polls());
        QSignalSpy changed(&watcher, &StoreWatcher::changed);
        QFile held(file);
        int round = 0;
        for (const QString &step : steps) {
            if (step == "hold") {
                QVERIFY(held.open(QIODevice::ReadOnly));
            } else if (step == "gone") {
                QVERIFY(QDir(folder).removeRecursively());
                QTRY_VERIFY_WITH_TIMEOUT(watcher.polls(), 2000);
                QVERIFY(QDir().mkpath(folder));
            } else {
                changed.clear();
                write(file, {"M/a|0|" + QString::number(++round)}, step == "replace");
                QVERIFY2(changed.wait(2500), qPrintable(step));
            }
        }
        QVERIFY(!watcher.polls());
        QDir(folder).removeRecursively();
        ::umask(mask);
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
