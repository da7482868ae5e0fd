// Two Keyquills over two folders that two Syncthing instances keep in step (twosyncthings.sh
// starts them and passes the folders). Each Keyquill is this program again ("--peer <folder>"):
// its own settings folder and instance key, a main window offscreen, questions answered OK.
// A peer reads "save<TAB>master<TAB>note[<TAB>text]" (a note saved as the editor does, its text
// its name unless given; answers "saved"), "name<TAB>name" (the answer to the next name
// question; answers "named") and "dump" (answers the notes its tree shows, sorted, in one line).
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
        for (QTreeWidgetItemIterator it(window.findChild<QTreeWidget *>()); ask.size() == 1 && *it;
             ++it)
            if ((*it)->parent())
                rows << (*it)->parent()->text(0) + '/' + (*it)->text(0);
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

    static QString ask(QProcess &keyquill, const QString &line)
    {
        keyquill.write(line.toUtf8() + '\n');
        while (!keyquill.canReadLine() && keyquill.waitForReadyRead(10000)) {
        }
        return QString::fromUtf8(keyquill.readLine()).trimmed();
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
