// Two Keyquills over two folders that two Syncthing instances keep in step (twosyncthings.sh
// starts them and passes the folders). Each Keyquill is this program again ("--peer <folder>"):
// its own settings folder and instance key, a main window offscreen, questions answered OK.
// A peer reads "save<TAB>master<TAB>note[<TAB>text]" (a note saved as the editor does, its text
// its name unless given; answers "saved"), "name<TAB>name" (the answer to the next name
// question; answers "named"), "dump" (answers the notes its tree shows, sorted, in one line) and
// "texts" (every note of its store as "master/note|text", sorted, in one line).
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "mainwindow/mainwindow.h"
#include "store/preferences.h"

#include <QtTest>
#include <QtWidgets>

#include <cstdio>

namespace {

int peer(const QString &folder)
{
    TestEnvironment environment;
    Preferences::saveStoreFolder(folder);
    FakePlatform platform;
    ScriptedDialogs dialogs;
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        const QStringList ask = QString::fromUtf8(in.readLine()).trimmed().split('\t');
        QStringList rows;
        if (ask.size() >= 3 && window.store().saveNote(ask.at(1), ask.at(2), 0, ask.last()))
            rows << "saved";
        if (ask.size() == 2 && ask.first() == "name") {
            dialogs.names << ask.at(1);
            rows << "named";
        }
        for (QTreeWidgetItemIterator it(window.findChild<QTreeWidget *>());
             ask == QStringList{"dump"} && *it; ++it)
            if ((*it)->parent())
                rows << (*it)->parent()->text(0) + '/' + (*it)->text(0);
        for (const QString &master :
             ask == QStringList{"texts"} ? window.store().masters() : QStringList())
            for (const MacroStore::Note &note : window.store().notes(master))
                rows << master + '/' + note.name + '|' + note.text;
        rows.sort();
        std::printf("%s\n", qPrintable(rows.join(';')));
        std::fflush(stdout);
    });
    return QApplication::exec();
}

} // namespace

class TestTwoSyncthings : public QObject
{
    Q_OBJECT

    QProcess m_a;
    QProcess m_b;
    QStringList m_folders;
    QElapsedTimer m_alike; // since both machines are alike

    static QString ask(QProcess &keyquill, const QString &line)
    {
        keyquill.write(line.toUtf8() + '\n');
        while (!keyquill.canReadLine() && keyquill.waitForReadyRead(10000)) {
        }
        return QString::fromUtf8(keyquill.readLine()).trimmed();
    }

    static void engine(const QString &machine, const QString &what)
    {
        QCOMPARE(QProcess::execute("/bin/sh", {"-c", qEnvironmentVariable("SYNC_ENGINE") + ' ' +
                                                         machine + ' ' + what}),
                 0);
    }
    // Both machines alike, no conflict copy left on either, for some seconds on end.
    bool settledForAWhile()
    {
        const QString a = ask(m_a, "texts");
        const bool copiesLeft = std::any_of(m_folders.cbegin(), m_folders.cend(), [](auto f) {
            return !QDir(f).entryList({"*sync-conflict*"}, QDir::Files).isEmpty();
        });
        if (copiesLeft || a != ask(m_b, "texts")) {
            m_alike.invalidate();
            return false;
        }
        if (!m_alike.isValid())
            m_alike.start();
        return m_alike.elapsed() > 3000;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList folders = QCoreApplication::arguments().mid(1, 2);
        m_folders = folders;
        for (QProcess *keyquill : {&m_a, &m_b}) {
            keyquill->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            keyquill->start(QCoreApplication::applicationFilePath(),
                            {"--peer", folders.at(keyquill == &m_a ? 0 : 1)});
            QVERIFY(keyquill->waitForStarted());
        }
    }
    void cleanupTestCase()
    {
        for (QProcess *keyquill : {&m_a, &m_b}) {
            keyquill->closeWriteChannel();
            keyquill->terminate();
            keyquill->waitForFinished();
        }
    }

    void eachSeesTheOther()
    {
        QCOMPARE(ask(m_a, "save\tWork\ta"), QString("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(ask(m_b, "dump"), QString("Work/a"), 60000);
        QCOMPARE(ask(m_b, "save\tWork\tb"), QString("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(ask(m_a, "dump"), QString("Work/a;Work/b"), 60000);
    }
    void editsAtOnceAllKept()
    {
        // Both before either engine can have passed the other's on: a conflict copy comes.
        QCOMPARE(ask(m_a, "save\tWork\tc"), QString("saved"));
        QCOMPARE(ask(m_b, "save\tHome\td"), QString("saved"));
        for (QProcess *keyquill : {&m_a, &m_b})
            QTRY_COMPARE_WITH_TIMEOUT(ask(*keyquill, "dump"),
                                      QString("Home/d;Work/a;Work/b;Work/c"), 60000);
    }

    // Both change one note at once: the sync tool keeps one version and leaves the other in a
    // conflict copy both see. Both bring it in at once, each under a name of its own, and so
    // change the store at once again: the other version is then in it once all the same.
    void oneNoteChangedOnBothBroughtInOnce()
    {
        QCOMPARE(ask(m_a, "name\tWork 2"), QString("named"));
        QCOMPARE(ask(m_b, "name\tWork B"), QString("named"));
        QCOMPARE(ask(m_a, "save\tWork\tx\tfrom a"), QString("saved"));
        QCOMPARE(ask(m_b, "save\tWork\tx\tfrom b"), QString("saved"));
        // Settled: no conflict copy left on either, both alike, the other version in once.
        const auto settled = [this] {
            const QString a = ask(m_a, "dump");
            const bool copiesLeft = std::any_of(m_folders.cbegin(), m_folders.cend(), [](auto f) {
                return !QDir(f).entryList({"*sync-conflict*"}, QDir::Files).isEmpty();
            });
            return !copiesLeft && a == ask(m_b, "dump") &&
                   a.contains("Work 2/x") != a.contains("Work B/x");
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 60000);
    }

    // One machine off line a while: each side edits ten notes, adds ten and edits five that the
    // other edits too. Back on line, both hold every edit of each side, the five are offered once
    // (the side that lost keeps its text in a master macro of its own), nothing is doubled, and
    // no note shows the text it had before.
    void offlineEditsAllKept()
    {
        const auto note = [](const char *prefix, int i) {
            return prefix + QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        };
        for (int i = 1; i <= 30; ++i)
            QCOMPARE(ask(m_a, "save\tOffline\t" + note("n", i) + "\tas it was"), QString("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(ask(m_b, "texts").count("|as it was"), 30, 60000);
        engine("a", "stop");
        // a edits n11 to n25, b n01 to n10 and n21 to n25.
        for (QProcess *keyquill : {&m_a, &m_b}) {
            const QString side = keyquill == &m_a ? "a" : "b";
            for (int i = keyquill == &m_a ? 11 : 1; i <= 25; i += i == 10 ? 11 : 1)
                QCOMPARE(ask(*keyquill, "save\tOffline\t" + note("n", i) + "\tfrom " + side),
                         QString("saved"));
            for (int i = 1; i <= 10; ++i)
                QCOMPARE(ask(*keyquill, "save\tOffline\t" + note(qPrintable(side), i)),
                         QString("saved"));
            for (int i = 1; i <= 3; ++i)
                QCOMPARE(ask(*keyquill, QStringLiteral("name\tKept by %1 %2").arg(side).arg(i)),
                         QString("named"));
        }
        engine("a", "start");
        QTRY_VERIFY_WITH_TIMEOUT(settledForAWhile(), 120000);

        QMultiHash<QString, QString> where; // "note|text" -> master macros
        for (const QString &row : ask(m_a, "texts").split(';')) {
            const qsizetype slash = row.indexOf('/');
            if (QRegularExpression("^[abn]\\d\\d\\|").match(row.mid(slash + 1)).hasMatch())
                where.insert(row.mid(slash + 1), row.left(slash));
        }
        int kept = 0;     // edits of one side and new notes, with their text, in their place alone
        int bothKept = 0; // notes edited on both sides whose two texts are there once each
        for (int i = 1; i <= 25; ++i) {
            const QString a = note("n", i) + "|from a";
            const QString b = note("n", i) + "|from b";
            if (i <= 20)
                kept += where.values(i <= 10 ? b : a) == QStringList{"Offline"};
            else
                bothKept += where.count(a) + where.count(b) == 2 &&
                            (where.values(a) + where.values(b)).count("Offline") == 1;
        }
        for (const char *side : {"a", "b"})
            for (int i = 1; i <= 10; ++i)
                kept += where.values(note(side, i) + '|' + note(side, i)) == QStringList{"Offline"};
        const qsizetype offered = where.size() - where.values().count("Offline");
        qsizetype doubled = 0;
        for (const QString &key : where.uniqueKeys())
            doubled += where.count(key) - 1;
        qsizetype old = 0;
        for (int i = 1; i <= 25; ++i)
            old += where.count(note("n", i) + "|as it was");
        std::printf("offline: edits and new notes kept %d of 40, notes offered %d (%d of the 5 "
                    "edited on both sides with both texts once), notes doubled %d, notes showing "
                    "their old text %d\n",
                    kept, int(offered), bothKept, int(doubled), int(old));
        std::fflush(stdout);
        QCOMPARE(kept, 40);
        QCOMPARE(bothKept, 5);
        QCOMPARE(offered, 5);
        QCOMPARE(doubled, 0);
        QCOMPARE(old, 0);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--peer")
        return peer(QString::fromLocal8Bit(argv[2]));
    if (argc != 3)
        return std::printf("usage: %s <folder> <folder> (see twosyncthings.sh)\n", argv[0]), 2;
    TestTwoSyncthings test;
    return QTest::qExec(&test, QStringList{argv[0]});
}
#include "tst_twosyncthings.moc"
