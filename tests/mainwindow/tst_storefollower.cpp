// A main window over a store in a chosen folder: it follows changes another machine makes, keeps
// unsaved edits, brings in conflict copies and takes a folder on.
#include "support/windowfixture.h"

#include "editor/noteeditor.h"
#include "mainwindow/storefollower.h"
#include "store/preferences.h"
#include "widgets/macrotreeitems.h"

namespace {

const int CtrlAltB = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();

// "master/note|code|text" each, written as a sync tool writes another machine's file.
void writeFile(const QString &file, const QStringList &notes, bool replace = true)
{
    QVERIFY(TestEnvironment::writeAsSyncTool(file, TestEnvironment::storeBytes(notes), replace));
}

} // namespace

class TestStoreFollower : public WindowFixture
{
    Q_OBJECT

    QString m_file;
    const QString m_hello = QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA);

    StoreFollower *follower() { return m_window->findChild<StoreFollower *>(); }
    QTreeWidgetItem *row(const QString &master, const QString &note = QString())
    {
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
            const QTreeWidgetItem *parent = (*it)->parent();
            if (note.isEmpty() ? !parent && (*it)->text(0) == master
                               : parent && parent->text(0) == master && (*it)->text(0) == note)
                return *it;
        }
        return nullptr;
    }
    void clearFolder()
    {
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(m_dir.filePath(name));
        m_file = m_dir.filePath(MacroStore::FileName);
    }
    // The window again, over a store in the test's folder that holds `notes`.
    void useFolder(const QStringList &notes)
    {
        writeFile(m_file, notes);
        QVERIFY(Preferences::saveStoreFolder(m_dir.path()));
        m_window.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_window = std::make_unique<MainWindow>(m_platform, m_dialogs.get());
        m_tree = m_window->findChild<QTreeWidget *>("treeMacros");
    }

private Q_SLOTS:
    void followsTheFile_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("written in place") << false;
        QTest::newRow("replaced by a rename") << true;
    }
    void followsTheFile()
    {
        QFETCH(bool, replace);
        clearFolder();
        useFolder({m_hello, "Work/bye|0|Bye", "Home/h|0|Home"});
        m_tree->setCurrentItem(row("Work", "bye"));
        row("Home")->setExpanded(false);
        m_window->live().choose("Work");
        QSignalSpy followed(follower(), &StoreFollower::followed);

        writeFile(m_file,
                  {m_hello, "Work/bye|0|Bye now", QStringLiteral("Work/new|%1|N").arg(CtrlAltB),
                   "Home/h|0|Home", "Extra/e|0|E"},
                  replace);
        QVERIFY(followed.wait(2000));
        const QString a = MacroTreeItems::codeText(CtrlAltA);
        const QString b = MacroTreeItems::codeText(CtrlAltB);
        QCOMPARE(treeDump(), (QStringList{"Extra", "Extra/e|", "Home", "Home/h|", "Work",
                                          "Work/bye|", "Work/hello|" + a, "Work/new|" + b}));
        QCOMPARE(m_tree->currentItem(), row("Work", "bye"));
        QVERIFY(!row("Home")->isExpanded());
        QVERIFY(row("Extra")->isExpanded());
        QCOMPARE(row("Work")->checkState(0), Qt::Checked);
        QCOMPARE(m_window->live().codes().value("new"), CtrlAltB);
        QCOMPARE(m_window->findChild<QTextEdit *>("macro")->toPlainText(), QString("Bye now"));

        // The live master macro gone: nothing is live, nothing ticked.
        writeFile(m_file, {"Home/h|0|Home"}, replace);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->live().name(), QString(), 2000);
        QCOMPARE(treeDump(), (QStringList{"Home", "Home/h|"}));
        QCOMPARE(row("Home")->checkState(0), Qt::Unchecked);
    }

    void unsavedEditsKept_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("keep mine") << 0 << "mine"
                                   << "mine";
        QTest::newRow("take the other") << 1 << "theirs"
                                        << "theirs";
        QTest::newRow("cancel") << -1 << "theirs"
                                << "mine";
    }
    void unsavedEditsKept()
    {
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        clearFolder();
        useFolder({m_hello, "Work/bye|0|Bye"});
        m_tree->setCurrentItem(row("Work", "bye"));
        auto *text = m_window->findChild<QTextEdit *>("macro");
        text->setPlainText("mine");
        QVERIFY(m_window->editor().isDirty());
        QSignalSpy followed(follower(), &StoreFollower::followed);
        writeFile(m_file, {m_hello, "Work/bye|0|theirs"});
        QVERIFY(followed.wait(2000));
        QCOMPARE(text->toPlainText(), QString("mine"));

        m_dialogs->choices << answer;
        m_window->editor().save();
        QCOMPARE(m_dialogs->asked.last(),
                 QString("Save Note|The Note \"bye\" was changed elsewhere (on another computer, "
                         "perhaps) since you began editing it."));
        QCOMPARE(TestEnvironment::storeDump().first(), "Work/bye|0|" + stored);
        QCOMPARE(text->toPlainText(), shown);
        QCOMPARE(m_window->editor().isDirty(), answer < 0);
    }

    void conflictCopiesBroughtIn_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<bool>("bringIn");
        QTest::newRow("found at start") << true << true;
        QTest::newRow("arriving later") << false << true;
        QTest::newRow("declined") << true << false;
    }
    void conflictCopiesBroughtIn()
    {
        QFETCH(bool, atStart);
        QFETCH(bool, bringIn);
        const QString copy = m_dir.filePath("Keyquill.sync-conflict-20261207-101500-ABCDEF7.conf");
        const QStringList copied{"Work/hello|0|Hello there", "Work/extra|0|X"};
        clearFolder();
        if (atStart)
            writeFile(copy, copied);
        useFolder({m_hello});
        m_dialogs->questions << bringIn;
        m_dialogs->names << "Work 2";
        if (!atStart)
            writeFile(copy, copied);
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->asked.isEmpty(), 2000);
        QVERIFY(m_dialogs->asked.first().startsWith("Conflict copies|A sync tool kept copies"));
        QVERIFY(m_dialogs->asked.first().contains(QDir::toNativeSeparators(copy)));
        const QString hello = QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA);
        const QStringList after =
            bringIn ? QStringList{"Work/extra|0|X", hello, "Work 2/hello|0|Hello there"}
                    : QStringList{hello};
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::storeDump(), after, 2000);
        QCOMPARE(QFile::exists(copy), !bringIn);
        if (bringIn)
            QVERIFY(row("Work 2"));
    }

    void folderTakenOn_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("masters");
        const QStringList local{"Home", "Work"};
        QTest::newRow("empty folder") << false << -2 << local;
        QTest::newRow("store there, cancelled") << true << -1 << local;
        QTest::newRow("store there used as it is") << true << 0 << QStringList{"Remote"};
        QTest::newRow("mine added") << true << 1 << QStringList{"Home", "Remote", "Work"};
    }
    void folderTakenOn()
    {
        QFETCH(bool, remote);
        QFETCH(int, answer);
        QFETCH(QStringList, masters);
        clearFolder();
        if (remote)
            writeFile(m_file, {"Remote/r|0|R"});
        m_dialogs->choices << answer;
        QCOMPARE(follower()->moveTo(m_dir.path()), answer != -1);
        QCOMPARE(m_dialogs->asked.size(), remote ? 1 : 0);
        QCOMPARE(Preferences::load().storeFolder(), answer == -1 ? QString() : m_dir.path());
        QStringList shown;
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            shown << m_tree->topLevelItem(i)->text(0);
        QCOMPARE(shown, masters);
        QCOMPARE(m_window->store().masters(), masters);
        // This computer's own master macros stay where they were.
        QSettings local;
        local.beginGroup(MacroStore::MasterMacrosGroup);
        QCOMPARE(local.childGroups(), (QStringList{"Home", "Work"}));
        // And back: the settings file's master macros again, the folder's left as they are.
        if (answer != -1) {
            QVERIFY(follower()->moveTo(QString()));
            QCOMPARE(m_window->store().masters(), (QStringList{"Home", "Work"}));
            QCOMPARE(MacroStore(m_file).masters(), masters);
        }
    }
};

QTEST_MAIN(TestStoreFollower)
#include "tst_storefollower.moc"
