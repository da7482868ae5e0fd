#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/storeprobe.h"
#include "support/testenv.h"

#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

struct MainWindowTester
{
    static void addMasterMacro(MainWindow &w) { w.addMasterMacro(); }
    static void addMacro(MainWindow &w) { w.addMacro(); }
    static void renameMacro(MainWindow &w) { w.renameMacro(); }
    static void deleteMacro(MainWindow &w) { w.deleteMacro(); }
};

namespace {

constexpr int CtrlAltA = MacroStore::CtrlBit + MacroStore::AltBit + Qt::Key_A;
constexpr int CtrlB = MacroStore::CtrlBit + Qt::Key_B;
const QString WriteFailure = QStringLiteral("cannot be written");

// The commands by number, as the data tables name them.
void (*const Commands[])(MainWindow &) = {MainWindowTester::addMasterMacro,
                                          MainWindowTester::addMacro, MainWindowTester::renameMacro,
                                          MainWindowTester::deleteMacro};

QStringList storeDump()
{
    QSettings store;
    return StoreProbe::dump(store);
}

QStringList childGroups(const QString &group)
{
    QSettings store;
    store.beginGroup(group);
    return store.childGroups();
}

QByteArray fileBytes()
{
    return TestEnvironment::fileBytes(QSettings().fileName());
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;

    QTreeWidget *tree() { return m_window->findChild<QTreeWidget *>(QStringLiteral("treeMacros")); }
    QTreeWidgetItem *item(const QString &master, const QString &note = QString())
    {
        return StoreProbe::item(tree(), master, note);
    }
    void select(const QString &master, const QString &note = QString())
    {
        QVERIFY(StoreProbe::select(tree(), master, note));
    }
    QStringList treeNames()
    {
        QStringList names;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
            QTreeWidgetItem *top = tree()->topLevelItem(i);
            names.append(top->text(0));
            for (int j = 0; j < top->childCount(); ++j)
                names.append(top->text(0) + QLatin1Char('/') + top->child(j)->text(0));
        }
        names.sort();
        return names;
    }
    QList<int> liveCodes() { return StoreProbe::liveCodes(tree()); }
    void run(void (*command)(MainWindow &), ModalAnswerer &dialogs)
    {
        command(*m_window);
        QVERIFY2(dialogs.done(), "a dialog the test expected did not open");
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeMasterMacro(QStringLiteral("Work"));
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Reply"), CtrlAltA,
                                   QStringLiteral("Thanks"));
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Sign"), CtrlB,
                                   QStringLiteral("Regards"));
        TestEnvironment::writeNote(QStringLiteral("Home"), QStringLiteral("Address"), 0,
                                   QStringLiteral("1 Main St"));
        m_window = std::make_unique<MainWindow>();
    }
    void cleanup() { m_window.reset(); }

    void addMasterMacroIgnoresLetterCaseAndOffersTheRefusedNameAgain()
    {
        ModalAnswerer dialogs;
        dialogs.type(QStringLiteral("work")).ok().type(QStringLiteral("Play"));
        run(MainWindowTester::addMasterMacro, dialogs);
        const auto &seen = dialogs.seen();
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].title, QStringLiteral("Add Master Macro"));
        QCOMPARE(seen[0].text, QStringLiteral("Enter Master Macro name"));
        QCOMPARE(seen[0].initial, QString());
        QCOMPARE(seen[1].title, QStringLiteral("Keyquill"));
        QCOMPARE(seen[1].text, QStringLiteral("Master Macro with that name exists"));
        QCOMPARE(seen[2].initial, QStringLiteral("work"));
        QVERIFY(item(QStringLiteral("Play")));
        QCOMPARE(item(QStringLiteral("Play"))->checkState(0), Qt::Unchecked);
        QCOMPARE(QSettings().value(QStringLiteral("MasterMacros/Play/description")),
                 QVariant(QString()));
    }

    void addNoteComparesLetterCaseAndUsesTheSelectedNotesMasterMacro()
    {
        select(QStringLiteral("Work"), QStringLiteral("Sign"));
        ModalAnswerer dialogs;
        dialogs.type(QStringLiteral("Reply")).ok().type(QStringLiteral("reply"));
        run(MainWindowTester::addMacro, dialogs);
        QCOMPARE(dialogs.seen().size(), 3);
        QCOMPARE(dialogs.seen()[0].title, QStringLiteral("Add Note"));
        QCOMPARE(dialogs.seen()[0].text, QStringLiteral("Enter Note name"));
        QCOMPARE(dialogs.seen()[1].text, QStringLiteral("Note with that name exists"));
        QCOMPARE(dialogs.seen()[2].initial, QStringLiteral("Reply"));
        QTreeWidgetItem *added = item(QStringLiteral("Work"), QStringLiteral("reply"));
        QVERIFY(added);
        QCOMPARE(item(QStringLiteral("Work"))->indexOfChild(added), 2);
        QVERIFY(added->text(1).isEmpty());
        QSettings store;
        QCOMPARE(store.value(QStringLiteral("MasterMacros/Work/Macros/reply/shortcut")),
                 QVariant(QString()));
        QCOMPARE(store.value(QStringLiteral("MasterMacros/Work/Macros/reply/text")),
                 QVariant(QString()));
    }

    void anEmptyOrCancelledNameEndsSilently_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("cancel");
        for (int command = 0; command < 3; ++command) {
            QTest::addRow("command %d, cancel", command) << command << true;
            QTest::addRow("command %d, empty", command) << command << false;
        }
    }
    void anEmptyOrCancelledNameEndsSilently()
    {
        QFETCH(int, command);
        QFETCH(bool, cancel);
        select(QStringLiteral("Work"), QStringLiteral("Reply"));
        const QStringList before = storeDump();
        ModalAnswerer dialogs;
        // After a refusal too: the first answer clashes in every command.
        dialogs.type(command == 0 ? QStringLiteral("WORK") : QStringLiteral("Reply")).ok();
        if (cancel)
            dialogs.cancel();
        else
            dialogs.type(QString());
        run(Commands[command], dialogs);
        QCOMPARE(dialogs.seen().last().isInput, true);
        QCOMPARE(storeDump(), before);
        QCOMPARE(treeNames(),
                 (QStringList{"Home", "Home/Address", "Work", "Work/Reply", "Work/Sign"}));
    }

    void namesWithGroupSeparatorsAreRefused_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("name");
        QTest::newRow("add master, slash") << 0 << QStringLiteral("a/b");
        QTest::newRow("add master, backslash") << 0 << QStringLiteral("a\\b");
        QTest::newRow("add note, slash") << 1 << QStringLiteral("/");
        QTest::newRow("rename, backslash") << 2 << QStringLiteral("x\\");
    }
    void namesWithGroupSeparatorsAreRefused()
    {
        QFETCH(int, command);
        QFETCH(QString, name);
        select(QStringLiteral("Work"), QStringLiteral("Reply"));
        const QStringList before = storeDump();
        ModalAnswerer dialogs;
        dialogs.type(name).ok().cancel();
        run(Commands[command], dialogs);
        QCOMPARE(dialogs.seen().size(), 3);
        QCOMPARE(dialogs.seen()[1].title, QStringLiteral("Keyquill"));
        QVERIFY2(dialogs.seen()[1].text.contains(QStringLiteral("\"/\" or \"\\\"")),
                 qPrintable(dialogs.seen()[1].text));
        QCOMPARE(dialogs.seen()[2].initial, name);
        QCOMPARE(storeDump(), before);
    }

    void renamingToItsOwnNameIsRefused_data()
    {
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("newName");
        QTest::newRow("note") << "Reply"
                              << "Reply";
        QTest::newRow("master macro") << ""
                                      << "Work";
        QTest::newRow("master macro, other case") << ""
                                                  << "wORK";
        QTest::newRow("another master macro, other case") << ""
                                                          << "home";
    }
    void renamingToItsOwnNameIsRefused()
    {
        QFETCH(QString, note);
        QFETCH(QString, newName);
        select(QStringLiteral("Work"), note);
        ModalAnswerer dialogs;
        dialogs.type(newName).ok().cancel();
        run(MainWindowTester::renameMacro, dialogs);
        QCOMPARE(dialogs.seen()[0].title, QStringLiteral("Rename Master Macro or Note"));
        QCOMPARE(dialogs.seen()[0].text, QStringLiteral("Enter new name"));
        QCOMPARE(dialogs.seen()[0].initial, QString());
        QCOMPARE(dialogs.seen()[1].text,
                 QStringLiteral("Master Macro ot Note with that name exists"));
        QCOMPARE(dialogs.seen()[2].initial, newName);
    }

    void renamingAMasterMacroKeepsEverything()
    {
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        const QList<int> live = liveCodes();
        QCOMPARE(live, (QList<int>{CtrlB, CtrlAltA}));
        QStringList expected = storeDump();
        expected.replaceInStrings(QStringLiteral("MasterMacros/Work/"),
                                  QStringLiteral("MasterMacros/Job/"));
        expected.sort();

        select(QStringLiteral("Work"));
        ModalAnswerer dialogs;
        dialogs.type(QStringLiteral("Job"));
        run(MainWindowTester::renameMacro, dialogs);
        QCOMPARE(storeDump(), expected);
        QVERIFY(!childGroups(QStringLiteral("MasterMacros")).contains(QStringLiteral("Work")));
        QTreeWidgetItem *renamed = item(QStringLiteral("Job"));
        QVERIFY(renamed);
        QCOMPARE(renamed->toolTip(0), QStringLiteral("Job"));
        QCOMPARE(renamed->checkState(0), Qt::Checked);
        QCOMPARE(renamed->childCount(), 2);
        QCOMPARE(liveCodes(), live);
    }

    void renamingANoteMovesExactlyItsKeys()
    {
        TestEnvironment::writeMasterMacro(QStringLiteral("Home")); // nothing else changes
        select(QStringLiteral("Home"), QStringLiteral("Address"));
        // A note added and never saved keeps its empty strings through the move.
        {
            ModalAnswerer add;
            add.type(QStringLiteral("Fresh"));
            run(MainWindowTester::addMacro, add);
        }
        select(QStringLiteral("Home"), QStringLiteral("Fresh"));
        QStringList expected = storeDump();
        expected.replaceInStrings(QStringLiteral("Home/Macros/Fresh/"),
                                  QStringLiteral("Home/Macros/Fresh 2/"));
        expected.sort();
        ModalAnswerer dialogs;
        dialogs.type(QStringLiteral("Fresh 2"));
        run(MainWindowTester::renameMacro, dialogs);
        QCOMPARE(storeDump(), expected);
        QVERIFY(item(QStringLiteral("Home"), QStringLiteral("Fresh 2")));
        QVERIFY(!item(QStringLiteral("Home"), QStringLiteral("Fresh")));
    }

    void deletingANoteOfTheTickedMasterMacroReleasesOnlyItsKey()
    {
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        select(QStringLiteral("Work"), QStringLiteral("Reply"));
        ModalAnswerer dialogs;
        dialogs.ok();
        run(MainWindowTester::deleteMacro, dialogs);
        QCOMPARE(dialogs.seen().first().title,
                 QStringLiteral("Delete selected Master Macro or Note"));
        QCOMPARE(dialogs.seen().first().text,
                 QStringLiteral("Delete selected Master Macro or Note?"));
        QCOMPARE(liveCodes(), QList<int>{CtrlB});
        QCOMPARE(childGroups(QStringLiteral("MasterMacros/Work/Macros")),
                 QStringList{QStringLiteral("Sign")});
        QVERIFY(!item(QStringLiteral("Work"), QStringLiteral("Reply")));
    }

    void deletingTheTickedMasterMacroReleasesEveryKey()
    {
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        select(QStringLiteral("Work"));
        ModalAnswerer dialogs;
        dialogs.ok();
        run(MainWindowTester::deleteMacro, dialogs);
        QVERIFY(liveCodes().isEmpty());
        QCOMPARE(childGroups(QStringLiteral("MasterMacros")), QStringList{QStringLiteral("Home")});
        QCOMPARE(treeNames(), (QStringList{"Home", "Home/Address"}));
        QCOMPARE(item(QStringLiteral("Home"))->checkState(0), Qt::Unchecked);
        // Gone after a restart too.
        m_window = std::make_unique<MainWindow>();
        QCOMPARE(treeNames(), (QStringList{"Home", "Home/Address"}));
    }

    void cancellingTheDeleteQuestionChangesNothing()
    {
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        select(QStringLiteral("Work"), QStringLiteral("Reply"));
        const QStringList before = storeDump();
        ModalAnswerer dialogs;
        dialogs.cancel();
        run(MainWindowTester::deleteMacro, dialogs);
        QCOMPARE(storeDump(), before);
        QVERIFY(item(QStringLiteral("Work"), QStringLiteral("Reply")));
        QCOMPARE(liveCodes(), (QList<int>{CtrlB, CtrlAltA}));
    }

    void nothingSelectedDoesNothing()
    {
        tree()->clearSelection();
        ModalAnswerer dialogs;
        MainWindowTester::addMacro(*m_window);
        MainWindowTester::renameMacro(*m_window);
        MainWindowTester::deleteMacro(*m_window);
        QVERIFY(dialogs.seen().isEmpty());
    }

    void anAddTheStoreRefusesAddsNoItem()
    {
        // A folder that cannot be created, whoever runs the test: its parent is a file.
        QTemporaryDir dir;
        QVERIFY(TestEnvironment::moveStoreBelowAFile(dir));
        m_window = std::make_unique<MainWindow>();
        ModalAnswerer dialogs;
        dialogs.type(QStringLiteral("Play")).ok();
        MainWindowTester::addMasterMacro(*m_window);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_env.configDir());
        QVERIFY(dialogs.done());
        QCOMPARE(dialogs.seen()[1].title, QStringLiteral("Keyquill"));
        QVERIFY2(dialogs.seen()[1].text.contains(QStringLiteral("\"Play\" was not added")),
                 qPrintable(dialogs.seen()[1].text));
        QVERIFY(dialogs.seen()[1].text.contains(WriteFailure));
        QCOMPARE(tree()->topLevelItemCount(), 0);
    }

    void aChangeTheDiskRefusesLeavesStoreAndTreeAsTheyWere_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("message");
        QTest::newRow("add note") << 1 << "Reply"
                                  << "\"Big\" was not added";
        QTest::newRow("rename note") << 2 << "Reply"
                                     << "\"Reply\" was not renamed to \"Big\"";
        QTest::newRow("rename master") << 2 << ""
                                       << "\"Work\" was not renamed to \"Big\"";
        QTest::newRow("delete note") << 3 << "Reply"
                                     << "\"Reply\" was not deleted";
        QTest::newRow("delete master") << 3 << ""
                                       << "\"Work\" was not deleted";
    }
    void aChangeTheDiskRefusesLeavesStoreAndTreeAsTheyWere()
    {
        QFETCH(int, command);
        QFETCH(QString, note);
        QFETCH(QString, message);
        // A store too large to be rewritten under the limit below: the disk is "full".
        TestEnvironment::writeNote(QStringLiteral("Home"), QStringLiteral("Long"), 0,
                                   QString(6000, QLatin1Char('y')));
        m_window = std::make_unique<MainWindow>();
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        select(QStringLiteral("Work"), note);
        const QStringList before = storeDump();
        const QStringList treeBefore = treeNames();
        const QList<int> liveBefore = liveCodes();
        const QByteArray bytesBefore = fileBytes();

        ModalAnswerer dialogs;
        if (command == 3)
            dialogs.ok();
        else
            dialogs.type(QStringLiteral("Big"));
        dialogs.ok();
        {
            FileSizeLimit limit(4096);
            QVERIFY(limit.isActive());
            run(Commands[command], dialogs);
        }
        QCOMPARE(dialogs.seen().last().title, QStringLiteral("Keyquill"));
        QVERIFY2(dialogs.seen().last().text.contains(message),
                 qPrintable(dialogs.seen().last().text));
        QVERIFY(dialogs.seen().last().text.contains(WriteFailure));
        QCOMPARE(fileBytes(), bytesBefore);
        QCOMPARE(storeDump(), before);
        QCOMPARE(treeNames(), treeBefore);
        QCOMPARE(liveCodes(), liveBefore);
        QCOMPARE(item(QStringLiteral("Work"))->checkState(0), Qt::Checked);

        // Nothing of the refused change is waiting to be written later either.
        m_window.reset();
        QCOMPARE(storeDump(), before);
        QCOMPARE(fileBytes(), bytesBefore);
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
