// One change of the store: what counts as written, and what a failed one leaves (nothing).
#include "support/filesizelimit.h"
#include "support/testenv.h"

#include "store/storewrite.h"

#include <memory>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString NoteText = QStringLiteral("MasterMacros/M/Macros/N/text");

// The files beside the store (its folder and the folder of the file a link points to).
QStringList filesBeside(const QString &store)
{
    QStringList files = QDir(QFileInfo(store).path()).entryList(QDir::Files | QDir::Hidden);
    const QFileInfo target(QFileInfo(store).canonicalFilePath());
    if (target.filePath() != QFileInfo(store).absoluteFilePath())
        files += QDir(target.path()).entryList(QDir::Files | QDir::Hidden);
    files.removeDuplicates();
    return files;
}

} // namespace

class TestStoreWrite : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    QString m_store;

    // Where the store is as the case needs it: behind a link, with a slip, or a lock directory.
    void arrange(const QString &setup)
    {
        if (setup == QLatin1String("link")) {
            const QString real = m_env.configDir() + QStringLiteral("/synced/Keyquill.conf");
            QVERIFY(QDir().mkpath(QFileInfo(real).path()));
            QVERIFY(QFile::rename(m_store, real));
            QVERIFY(QFile::link(real, m_store));
        } else if (setup == QLatin1String("slip")) {
            QFile file(m_store);
            QVERIFY(file.open(QIODevice::Append));
            file.write("[General\nhand=edited\n");
        } else if (setup == QLatin1String("lock directory")) {
            QVERIFY(QDir().mkpath(m_store + QStringLiteral(".lock")));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Past a file-size limit the write must fail, not end the process (SIGXFSZ).
        StoreWrite::prepareAtStart();
        QVERIFY(std::signal(SIGXFSZ, SIG_IGN) == SIG_IGN);
    }
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_env.configDir());
        QDir(m_env.configDir()).removeRecursively();
        TestEnvironment::writeNote(QStringLiteral("M"), QStringLiteral("N"), 0x04000041,
                                   QStringLiteral("text of N"));
        TestEnvironment::writeNote(QStringLiteral("M"), QStringLiteral("Big"), 0,
                                   QString(6000, QLatin1Char('z')));
        m_store = QSettings().fileName();
    }

    void aCommittedChangeIsOnDisk_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("plain") << QString();
        QTest::newRow("behind a link") << QStringLiteral("link");
        QTest::newRow("hand-edited slip") << QStringLiteral("slip");
    }
    void aCommittedChangeIsOnDisk()
    {
        QFETCH(QString, setup);
        arrange(setup);
        {
            StoreWrite write({QStringLiteral("MasterMacros/M"), QStringLiteral("MasterMacros/M2")});
            write.settings().setValue(NoteText, QStringLiteral("new"));
            write.settings().setValue(QStringLiteral("MasterMacros/M/Macros/New/shortcut"),
                                      QString());
            write.copyGroup(QStringLiteral("MasterMacros/M"), QStringLiteral("MasterMacros/M2"));
            QVERIFY(write.commit());
        }
        QVERIFY(TestEnvironment::fileBytes(m_store).contains("N\\text=new"));
        QSettings store;
        QCOMPARE(store.value(QStringLiteral("MasterMacros/M2/Macros/N/shortcut")).toInt(),
                 0x04000041);
        QCOMPARE(store.value(QStringLiteral("MasterMacros/M2/Macros/New/shortcut")), QVariant(""));
        QCOMPARE(QFileInfo(m_store).isSymLink(), setup == QLatin1String("link"));
        QCOMPARE(filesBeside(m_store), QStringList{QStringLiteral("Keyquill.conf")});
    }

    // A full disk (Qt 6.4 then commits a short file and reports success), a folder that cannot
    // be made, or a lock that can never be had: the store is left whole and reads as before.
    void aFailedChangeLeavesTheStoreAsItWas_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<qint64>("limit");
        QTest::newRow("disk full, half written") << QString() << qint64(4096);
        QTest::newRow("disk full, almost nothing written") << QString() << qint64(200);
        QTest::newRow("disk full, behind a link") << QStringLiteral("link") << qint64(4096);
        QTest::newRow("lock is a directory") << QStringLiteral("lock directory") << qint64(0);
        QTest::newRow("folder cannot be made") << QStringLiteral("below a file") << qint64(0);
    }
    void aFailedChangeLeavesTheStoreAsItWas()
    {
        QFETCH(QString, setup);
        QFETCH(qint64, limit);
        arrange(setup);
        QTemporaryDir dir;
        if (setup == QLatin1String("below a file"))
            QVERIFY(TestEnvironment::moveStoreBelowAFile(dir));
        const QString store = QSettings().fileName();
        const QByteArray before = TestEnvironment::fileBytes(store);
        const QVariant textBefore = QSettings().value(NoteText);
        bool committed = true;
        {
            StoreWrite write({QStringLiteral("MasterMacros/M")});
            write.settings().setValue(NoteText, QStringLiteral("lost?"));
            std::unique_ptr<FileSizeLimit> sizeLimit;
            if (limit > 0)
                sizeLimit = std::make_unique<FileSizeLimit>(limit);
            committed = write.commit();
        }
        QVERIFY(!committed);
        QCOMPARE(TestEnvironment::fileBytes(store), before);
        QCOMPARE(QSettings().value(NoteText), textBefore);
        if (!before.isEmpty())
            QCOMPARE(filesBeside(store), QStringList{QStringLiteral("Keyquill.conf")});
    }

    void startCopiesADamagedStoreAsideOnceAndClearsLeftovers()
    {
        const QByteArray damaged = "[MasterMacros]\nA\\Macros\\n\\text=a\n[unclosed\nB\\x=1\n";
        QFile file(m_store);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
        file.close();
        // Second names left by saves: of a process that died, and of this one (alive).
        const QString dead = m_store + QStringLiteral(".check-2147483646-0");
        const QString alive = m_store + QStringLiteral(".keep-%1").arg(::getpid());
        QVERIFY(QFile::link(m_store, dead) && QFile::link(m_store, alive));

        const QString copy = StoreWrite::prepareAtStart();
        QCOMPARE(copy, m_store + QStringLiteral(".damaged-") +
                           QDate::currentDate().toString(Qt::ISODate));
        QCOMPARE(TestEnvironment::fileBytes(copy), damaged);
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFile::remove(alive));
        QCOMPARE(StoreWrite::prepareAtStart(), QString()); // once
        QCOMPARE(QSettings().value(QStringLiteral("MasterMacros/A/Macros/n/text")),
                 QVariant("a")); // what could be read
    }
};

QTEST_MAIN(TestStoreWrite)
#include "tst_storewrite.moc"
