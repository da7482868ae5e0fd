// The store without a window: what its changes leave in the file, what counts as written, what a
// failed change leaves (nothing), and a store that does not read as it was written.
#include "support/filesizelimit.h"
#include "support/testenv.h"

#include "store/macrostore.h"
#include "store/storefile.h"
#include "store/storesnapshot.h"
#include "store/storewrite.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString NoteText = QStringLiteral("MasterMacros/M/Macros/N/text");

// The files beside the store: in its folder and in the folder of the file a link points to.
QStringList filesBeside(const QString &store)
{
    const auto filesIn = [](const QString &file) {
        return QDir(QFileInfo(file).path()).entryList(QDir::Files | QDir::Hidden);
    };
    QStringList files = filesIn(store) + filesIn(QFileInfo(store).canonicalFilePath());
    files.removeDuplicates();
    return files;
}

int modeOf(const QString &path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return static_cast<int>(info.st_mode & 0777);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestStore final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QString m_store;
    QString m_copy; // where a damaged store is copied today

    // Where the store is as the case needs it.
    void arrange(const QString &setup)
    {
        if (setup == "link") {
            const QString real = m_env.configDir() + "/synced/Keyquill.conf";
            QVERIFY(QDir().mkpath(QFileInfo(real).path()) && QFile::rename(m_store, real));
            QVERIFY(QFile::link(real, m_store));
        } else if (setup == "slip") {
            QFile file(m_store);
            QVERIFY(file.open(QIODevice::Append) && file.write("[General\nhand=edited\n") > 0);
        } else if (setup == "lock directory") {
            QVERIFY(QDir().mkpath(m_store + ".lock"));
        } else if (setup == "large") { // Qt sees a full disk before its last flush
            for (int i = 0; i < 30; ++i)
                TestEnvironment::writeNote("M", QString::number(i), 0, QString(2000, 'l'));
        } else if (setup == "below a file") { // binds root too
            QVERIFY(writeFile(m_env.configDir() + "/blocker", "x"));
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               m_env.configDir() + "/blocker/config");
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Past a file-size limit the write must fail, not end the process (SIGXFSZ).
        QSettings store;
        StoreWrite::prepareAtStart(store);
        QVERIFY(std::signal(SIGXFSZ, SIG_IGN) == SIG_IGN);
        ::umask(022); // what Qt makes alone is then readable by others
    }
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_env.configDir());
        QDir(m_env.configDir()).removeRecursively();
        TestEnvironment::writeNote("M", "N", 0x04000041, "text of N");
        TestEnvironment::writeNote("M", "Big", 0, QString(6000, QLatin1Char('z')));
        m_store = QSettings().fileName();
        m_copy = m_store + ".damaged-" + QDate::currentDate().toString(Qt::ISODate);
    }

    void aCommittedChangeIsOnDisk_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("plain") << QString();
        QTest::newRow("behind a link") << "link";
        QTest::newRow("hand-edited slip") << "slip";
    }
    void aCommittedChangeIsOnDisk()
    {
        QFETCH(QString, setup);
        arrange(setup);
        {
            StoreWrite write({"MasterMacros/M", "MasterMacros/M2"});
            write.settings().setValue(NoteText, "new");
            write.settings().setValue("MasterMacros/M/Macros/New/shortcut", QString());
            write.copyGroup("MasterMacros/M", "MasterMacros/M2");
            QVERIFY(write.commit());
        }
        QVERIFY(TestEnvironment::fileBytes(m_store).contains("N\\text=new"));
        QSettings store;
        QCOMPARE(store.value("MasterMacros/M2/Macros/N/shortcut").toInt(), 0x04000041);
        QCOMPARE(store.value("MasterMacros/M2/Macros/New/shortcut"), QVariant(""));
        QCOMPARE(QFileInfo(m_store).isSymLink(), setup == "link");
        QCOMPARE(modeOf(m_store), 0600); // Qt alone made it 0644, in a 0755 folder
        QCOMPARE(modeOf(QFileInfo(m_store).path()), 0700);
        QCOMPARE(filesBeside(m_store), QStringList{"Keyquill.conf"});
    }

    // A full disk (Qt 6.4 then commits a short file and reports success), a folder that cannot
    // be made, or a lock that can never be had: the store is left whole and reads as before.
    void aFailedChangeLeavesTheStoreAsItWas_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<qint64>("limit"); // of the file size
        const qint64 none = qint64(1) << 40;
        QTest::newRow("disk full, half written") << QString() << qint64(4096);
        QTest::newRow("disk full, almost nothing written") << QString() << qint64(200);
        // Every line but the last one (M\Macros\N\text=lost?): the file ends in a line end.
        QTest::newRow("disk full, one line short") << QString() << qint64(6087);
        QTest::newRow("disk full, behind a link") << "link" << qint64(4096);
        QTest::newRow("disk full, reported") << "large" << qint64(20000);
        QTest::newRow("lock is a directory") << "lock directory" << none;
        QTest::newRow("folder cannot be made") << "below a file" << none;
    }
    void aFailedChangeLeavesTheStoreAsItWas()
    {
        QFETCH(QString, setup);
        QFETCH(qint64, limit);
        arrange(setup);
        const QString store = QSettings().fileName();
        const QByteArray before = TestEnvironment::fileBytes(store);
        const QVariant textBefore = QSettings().value(NoteText);
        {
            StoreWrite write({"MasterMacros/M"});
            write.settings().setValue(NoteText, "lost?");
            const FileSizeLimit sizeLimit(limit);
            QVERIFY(!write.commit());
        }
        QCOMPARE(TestEnvironment::fileBytes(store), before);
        QCOMPARE(QSettings().value(NoteText), textBefore);
        if (!before.isEmpty())
            QCOMPARE(filesBeside(store), QStringList{"Keyquill.conf"});

        // The next change that works must not carry the refused one to the disk.
        QDir().rmdir(store + ".lock");
        StoreWrite later({"MasterMacros/Other"});
        later.settings().setValue("MasterMacros/Other/description", QString());
        QCOMPARE(later.commit(), setup != "below a file");
        QVERIFY(!TestEnvironment::fileBytes(store).contains("lost?"));
    }

    // Qt reads past all of these without a word, and its next write would lose what it missed.
    void aStoreThatDoesNotReadAsWrittenIsCopiedAsideOnce_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("told"); // in the message; "" for no message and no copy
        // Whether the check lists the master macros from the bytes alone.
        QTest::addColumn<bool>("lists");
        const auto row = [](const char *tag, const QByteArray &bytes, const char *told,
                            bool listed = false) {
            QTest::newRow(tag) << bytes << QString(told) << listed;
        };
        const QByteArray note = "[MasterMacros]\nM\\Macros\\N\\text=";
        row("sound, by hand", "\r\n\n[General]\r\n  x = \"a;b\"\r\n[MasterMacros]\nM\\d=\n", "");
        row("byte order mark", "\xef\xbb\xbf" + note + "a\n", "", true);
        row("empty", QByteArray(), "", true);
        row("sound, names escaped",
            "[General]\nx=1\n[MasterMacros]\nA\\d=\nB%20C\\Macros\\N\\text=x\nB%20C\\d=\n"
            "loose=1\n%U00E9t%E9\\d=\n[Other]\ny=1\n",
            "", true);
        row("sound, one name spelled twice", "[MasterMacros]\nA\\x=1\n%41\\y=1\nB\\x=1\n", "",
            true);
        // Qt drops comments when it writes.
        row("comment line", "; mine\r\n\n[General]\r\n  x = \"a;b\"\r\n", "line 1 holds a comment");
        row("comment after a value", note + "\"a;b\" ; c\n", "line 2 holds a comment");
        row("Latin-1", note + "gr\xfc\xdf\n", "it is not valid UTF-8 text (line 2");
        row("UTF-16", QByteArray("\xff\xfe[\0M\0]\0\n\0a\0=\0\xfc\0\n\0", 18),
            "it is not valid UTF-8 text (line 1");
        row("only zero bytes", QByteArray(4096, '\0'), "nothing but zero bytes");
        row("zero bytes after", note + "a\n" + QByteArray(9, '\0') + '\n',
            "line 3 holds zero bytes");
        row("zero bytes before", QByteArray(9, '\0') + '\n' + note + "a\n",
            "line 1 holds zero bytes");
        row("binary line", note + "a\n\x01\x02=\x1b\n", "line 3 holds zero bytes");
        row("cut off", note + "Dear cust", "it ends in the middle of a line");
        row("cut off, behind a link", note + "Dear cust", "it ends in the middle of a line");
        row("open quote", note + "\"a\nM\\Macros\\O\\text=b\n", "line 2 has an unterminated quote");
        row("broken header", note + "a\n[unclosed\nB\\x=1\n", "line 3 is a section header without");
        row("a key twice", note + "a\nM\\Macros\\N\\text=b\n",
            "only 1 of its 2 entries could be read");
        // Spelled apart, yet one key to the settings layer.
        row("a key twice, escaped", note + "a\nM\\Macros\\N\\te%78t=b\n", "only 1 of its 2");
        row("a key twice, with a slash", note + "a\nM/Macros/N/text=b\n", "only 1 of its 2");
        row("a key twice, a space before =", note + "a\nM\\Macros\\N\\text =b\n",
            "only 1 of its 2");
        row("a key twice, in UTF-8", "[M]\nCaf%E9=a\nCaf\xc3\xa9=b\n", "only 1 of its 2");
        row("a key twice, in two sections",
            "[General]\nMasterMacros\\M\\Macros\\N\\text=b\n" + note + "a\n", "only 1 of its 2");
        row("a section twice", note + "a\n[Other]\nx=1\n" + note + "b\n", "only 2 of its 3");
        row("sound, keys out of order", note + "b\nM\\Macros\\M\\text=a\n", "");
        row("a line runs on", note + "a\\\nM\\Macros\\O\\text=b\n", "only 1 of its 2");
        row("a line without a key", note + "a\nloose words\n", "some lines could not be read");
        row("half a character pair", note + "\"a\\xd800 b\"\n", "half of a character pair");
    }
    void aStoreThatDoesNotReadAsWrittenIsCopiedAsideOnce()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, told);
        QFETCH(bool, lists);
        QVERIFY(writeFile(m_store, bytes)); // readable by others, as the umask leaves it
        if (QByteArray(QTest::currentDataTag()).endsWith("behind a link")) {
            arrange("link"); // the copy goes beside the file, never where the link is
            m_copy = QFileInfo(m_store).symLinkTarget() + m_copy.mid(m_store.size());
        }
        // Second names left by saves: of a process that died, and of this one (alive).
        const QString real = QFileInfo(m_store).canonicalFilePath();
        const QString dead = real + ".keep-2147483646";
        const QString alive = real + QStringLiteral(".keep-%1").arg(::getpid());
        QVERIFY(QFile::link(real, dead) && QFile::link(real, alive));

        QSettings store;
        MacroStore::MasterList listed;
        const QString message = StoreWrite::prepareAtStart(store, &listed);
        QVERIFY(!QFileInfo::exists(dead) && QFile::remove(alive));
        QCOMPARE(listed.stamp.size >= 0, lists);
        store.beginGroup(MacroStore::MasterMacrosGroup);
        if (lists)
            QCOMPARE(listed.names, store.childGroups());
        store.endGroup();
        QCOMPARE(modeOf(m_store), 0600); // at start, not at the first change
        QVERIFY2(message.contains(told) && message.contains(told.isEmpty() ? QString() : m_copy),
                 qPrintable(message));
        QCOMPARE(message.isEmpty(), told.isEmpty());
        QCOMPARE(StoreWrite::prepareAtStart(store), QString()); // once

        MacroStore kept(listed);
        QVERIFY(kept.addMaster("Edited")); // changes work again
        QVERIFY(kept.masters().contains("Edited"));
        QCOMPARE(TestEnvironment::fileBytes(m_copy), told.isEmpty() ? QByteArray() : bytes);
        QCOMPARE(modeOf(m_copy), told.isEmpty() ? 0 : 0600);
    }

    void aStoreThatCannotBeCopiedAsideIsLeftAlone()
    {
        const QByteArray bytes(8192, '\0'); // what Qt reads of it fits below the limit
        QVERIFY(writeFile(m_store, bytes));
        {
            const FileSizeLimit limit(4096);
            QSettings store;
            QVERIFY(StoreWrite::prepareAtStart(store).contains("No copy of it could be kept"));
            QVERIFY(!MacroStore().addMaster("Lost?"));
        }
        QCOMPARE(TestEnvironment::fileBytes(m_store), bytes);
        QVERIFY(MacroStore().addMaster("Kept")); // the copy comes first, as soon as it can
        QCOMPARE(TestEnvironment::fileBytes(m_copy), bytes);
    }

    // The settings layer would read these without end, holding the start (and the guard).
    void aStoreThatCannotBeReadAsAFileStopsTheStart_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("told");
        QTest::newRow("named pipe behind a link") << "pipe"
                                                  << "it is a named pipe (FIFO)";
        QTest::newRow("past the cap") << "large"
                                      << "it is larger than 1 KiB";
        QTest::newRow("a file") << QString() << QString();
    }
    void aStoreThatCannotBeReadAsAFileStopsTheStart()
    {
        QFETCH(QString, what);
        QFETCH(QString, told);
        const QString pipe = m_env.configDir() + "/pipe";
        if (what == "pipe")
            QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0 &&
                    QFile::remove(m_store) && QFile::link(pipe, m_store));
        const qint64 cap = StoreFile::sizeCap();
        StoreFile::setSizeCap(what == "large" ? 1024 : cap);
        const QString problem = StoreWrite::unusableNativeStore();
        StoreFile::setSizeCap(cap);
        QVERIFY2(problem.contains(told), qPrintable(problem));
        QCOMPARE(problem.contains(m_store), !told.isEmpty());
    }

    // Notes are folded for searching once per reading of the store, and again after any change.
    void theSearchFollowsTheStore()
    {
        MacroStore store;
        QVERIFY(store.addMaster("Work") && store.addNote("Work", "hello"));
        QVERIFY(store.saveNote("Work", "hello", 0, "First words"));
        const NoteMatcher *folded = &store.snapshot()->matcher();
        QCOMPARE(folded->match("first").size(), 1);
        QCOMPARE(&store.snapshot()->matcher(), folded);
        QVERIFY(store.saveNote("Work", "hello", 0, "Second words"));
        QCOMPARE(store.snapshot()->matcher().match("first").size(), 0);
        QCOMPARE(store.snapshot()->matcher().match("second").size(), 1);
        QVERIFY(writeFile(m_store, "[MasterMacros]\nWork\\Macros\\hello\\text=third\n"));
        QCOMPARE(store.snapshot()->matcher().match("third").size(), 1);
    }

    void aNewStoreIsItsOwnersOnly()
    {
        QDir(m_env.configDir()).removeRecursively();
        QVERIFY(MacroStore().addMaster("Work") && MacroStore().hasMaster("Work")); // no note yet
        QCOMPARE(modeOf(m_store), 0600);
        QCOMPARE(modeOf(QFileInfo(m_store).path()), 0700);
    }
};

QTEST_MAIN(TestStore)
#include "tst_store.moc"
