// A main window over a store in a chosen folder: it follows changes another machine makes, keeps
// unsaved edits, brings in conflict copies and takes a folder on.
#include "support/windowfixture.h"

#include "mainwindow/storefollower.h"
#include "store/preferences.h"
#include "widgets/macrotreeitems.h"

#include <sys/stat.h>
#include <unistd.h>

class TestStoreFollower : public WindowFixture
{
    Q_OBJECT

    const int CtrlAltB = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
    const QString m_hello = QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA);
    QString m_file;

    StoreFollower *follower() { return m_window->findChild<StoreFollower *>(); }
    QTreeWidgetItem *row(const QString &master, const QString &note = QString())
    {
        const QList<QTreeWidgetItem *> rows = m_tree->findItems(
            note.isEmpty() ? master : note, Qt::MatchExactly | Qt::MatchRecursive);
        for (QTreeWidgetItem *found : rows)
            if (note.isEmpty() != bool(found->parent()))
                return found;
        return nullptr;
    }
    // As a sync tool brings another machine's file ("master/note|code|text" each).
    void write(const QString &file, const QStringList &notes, bool replace = true)
    {
        QVERIFY(
            TestEnvironment::writeAsSyncTool(file, TestEnvironment::storeBytes(notes), replace));
    }
    // As a sync tool gives a file the time it had on the other machine, and as a file looks that
    // no program is writing any more.
    static void backdate(const QString &file)
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::ReadWrite) &&
                old.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
    }
    void clearFolder()
    {
        const QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            QFile::remove(m_dir.filePath(name));
    }
    // The window again, over a store in the test's (emptied) folder that holds `notes`, or what
    // `plant` puts there.
    void useFolder(const QStringList &notes, const QString &beside = QString(),
                   const std::function<void()> &plant = {})
    {
        clearFolder();
        m_file = m_dir.filePath(MacroStore::FileName);
        if (plant)
            plant();
        else
            write(m_file, notes);
        if (!beside.isEmpty())
            write(beside, {"Work/hello|0|Hello there", "Work/extra|0|X"});
        QVERIFY(Preferences::saveStoreFolder(m_dir.path()));
        m_app.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        remake();
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
        useFolder({m_hello, "Work/bye|0|Bye", "Home/h|0|Home"});
        m_tree->setCurrentItem(row("Work", "bye"));
        row("Home")->setExpanded(false);
        m_window->live().choose("Work");
        // A change that keeps the file's size.
        write(m_file, {m_hello, "Work/bye|0|Bya", "Home/h|0|Home"}, replace);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->findChild<QTextEdit *>("macro")->toPlainText(),
                                  QString("Bya"), 2000);
        QSignalSpy followed(follower(), &StoreFollower::followed);
        write(m_file,
              {m_hello, "Work/bye|0|Bye now", QStringLiteral("Work/new|%1|N").arg(CtrlAltB),
               "Home/h|0|Home", "Extra/e|0|E"},
              replace);
        QVERIFY(followed.wait(2000));
        const QString a = MacroTreeItems::codeText(CtrlAltA);
        QCOMPARE(treeDump(), (QStringList{"Extra", "Extra/e|", "Home", "Home/h|", "Work",
                                          "Work/bye|", "Work/hello|" + a,
                                          "Work/new|" + MacroTreeItems::codeText(CtrlAltB)}));
        QCOMPARE(m_tree->currentItem(), row("Work", "bye"));
        QVERIFY(!row("Home")->isExpanded() && row("Extra")->isExpanded());
        QCOMPARE(row("Work")->checkState(0), Qt::Checked);
        QCOMPARE(m_window->live().codes().value("new"), CtrlAltB);
        QCOMPARE(m_window->findChild<QTextEdit *>("macro")->toPlainText(), QString("Bye now"));
        // The live master macro gone: nothing is live, nothing ticked.
        write(m_file, {"Home/h|0|Home"}, replace);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->live().name(), QString(), 2000);
        QCOMPARE(treeDump(), (QStringList{"Home", "Home/h|"}));
        QCOMPARE(row("Home")->checkState(0), Qt::Unchecked);
    }

    // Another machine changed the note (or took it out, "" for theirs) while it was edited here.
    void unsavedEditsKept_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("keep mine") << "theirs" << 0 << QStringList{"Work/bye|0|mine"} << "mine";
        QTest::newRow("take the other")
            << "theirs" << 1 << QStringList{"Work/bye|0|theirs"} << "theirs";
        QTest::newRow("cancel") << "theirs" << -1 << QStringList{"Work/bye|0|theirs"} << "mine";
        // Saved again, on this machine and through the sync tool on the other.
        QTest::newRow("taken out there, keep mine")
            << "" << 0 << QStringList{"Work/bye|0|mine"} << "mine";
        QTest::newRow("taken out there, take the other") << "" << 1 << QStringList{} << "";
    }
    void unsavedEditsKept()
    {
        QFETCH(QString, theirs);
        QFETCH(int, answer);
        QFETCH(QStringList, stored);
        QFETCH(QString, shown);
        useFolder({"Work/bye|0|Bye"});
        m_tree->setCurrentItem(row("Work", "bye"));
        auto *text = m_window->findChild<QTextEdit *>("macro");
        text->setPlainText("mine");
        QSignalSpy followed(follower(), &StoreFollower::followed);
        write(m_file, theirs.isEmpty() ? QStringList{} : QStringList{"Work/bye|0|" + theirs});
        QVERIFY(followed.wait(2000));
        QCOMPARE(text->toPlainText(), QString("mine"));
        m_dialogs->choices << answer;
        m_window->editor().save();
        QCOMPARE(m_dialogs->asked.last(),
                 QString("Save Note|The Note \"bye\" was changed elsewhere (on another computer, "
                         "perhaps) since you began editing it."));
        QCOMPARE(TestEnvironment::storeDump(), stored);
        QCOMPARE(text->toPlainText(), shown);
        QCOMPARE(m_window->editor().isDirty(), answer < 0);
    }

    void conflictCopiesBroughtIn_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("kept");    // the copy is still there
        QTest::addColumn<QString>("told"); // in a message; "" for none
        const QStringList all{"Work/extra|0|X", m_hello, "Work 2/hello|0|Hello there"};
        const QStringList none{m_hello};
        QTest::newRow("brought in") << "" << all << false << "";
        QTest::newRow("declined") << "decline" << none << true << "";
        QTest::newRow("name question cancelled") << "cancel" << none << true << "";
        QTest::newRow("two alike, one name asked") << "twice" << all << false << "";
        QTest::newRow("gone while asked") << "gone" << none << false << "";
        QTest::newRow("cut off") << "cut" << QStringList{"Work/cut|0|Dear cu"} + all << true
                                 << "it ends in the middle of a line";
        QTest::newRow("link to a pipe") << "pipe" << none << true << "it is a symbolic link";
    }
    void conflictCopiesBroughtIn()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, stored);
        QFETCH(bool, kept);
        QFETCH(QString, told);
        const QString copy = m_dir.filePath("Keyquill.sync-conflict-20261207-101500-ABCDEF7.conf");
        const QString twin = m_dir.filePath("Keyquill.sync-conflict-20261207-101501-ABCDEF7.conf");
        useFolder({m_hello}, copy);
        const QByteArray theirs = TestEnvironment::fileBytes(copy);
        if (setup == "twice")
            write(twin, {"Work/hello|0|Hello there", "Work/extra|0|X"});
        if (setup == "cut") {
            QVERIFY(TestEnvironment::writeAsSyncTool(
                copy, theirs + "Work\\Macros\\cut\\shortcut=0\nWork\\Macros\\cut\\text=Dear cu",
                true));
            backdate(copy);
        }
        if (setup == "pipe")
            QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("pipe")).constData(), 0600) == 0 &&
                    QFile::remove(copy) && QFile::link(m_dir.filePath("pipe"), copy));
        m_dialogs->questions << (setup != "decline");
        m_dialogs->names << (setup == "cancel" ? QString() : QString("Work 2"));
        if (setup == "gone") // brought in on the other machine while the question is open here
            m_dialogs->whileAsked = [&copy] { QFile::remove(copy); };
        const auto asked = [this](const QString &text) {
            return std::any_of(m_dialogs->asked.cbegin(), m_dialogs->asked.cend(),
                               [&text](const QString &line) { return line.contains(text); });
        };
        if (setup != "pipe") {
            QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->asked.isEmpty(), 2000);
            QVERIFY(m_dialogs->asked.first().startsWith("Conflict copies|A sync tool kept copies"));
            QVERIFY(m_dialogs->asked.first().contains(QDir::toNativeSeparators(copy)));
        }
        QCOMPARE(m_dialogs->closed, setup == "gone");
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->findChild<QProgressDialog *>(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(told.isEmpty() || asked(told), 2000);
        QCOMPARE(m_dialogs->asked.filter("Conflict copies|").isEmpty(), setup == "pipe");
        QCOMPARE(TestEnvironment::storeDump(), stored);
        QCOMPARE(QFileInfo(copy).isSymLink() || QFile::exists(copy), kept);
        QCOMPARE(QFile::exists(twin), false);
        QCOMPARE(bool(row("Work 2")), stored.contains("Work 2/hello|0|Hello there"));
        QCOMPARE(m_dialogs->asked.filter("Enter new Master Macro name").size(),
                 setup == "" || setup == "cancel" || setup.startsWith("t") || setup == "cut");
    }

    // Whenever the file is read (at start, brought by the sync tool, when a folder is taken on),
    // it is checked as at start: what does not read whole is copied aside before anything can be
    // written over it, and what is no file is neither read nor copied; either is told.
    // A thousand conflict copies: the question keeps to the screen, its list scrolls, and it goes
    // when told to.
    void manyCopiesAskedInAView()
    {
        Dialogs dialogs;
        QStringList copies;
        for (int i = 0; i < 1000; ++i)
            copies << m_dir.filePath(QStringLiteral("Keyquill.sync-conflict-%1.conf").arg(i));
        QTimer::singleShot(0, this, [&] {
            QPointer<QWidget> box = QApplication::activeModalWidget();
            const auto never = qScopeGuard([box] { // a failed check leaves no box open
                if (box)
                    box->close();
            });
            QVERIFY(box && box->isVisible());
            QVERIFY(box->height() < box->screen()->availableGeometry().height() / 2);
            auto *list = box->findChild<QPlainTextEdit *>();
            QVERIFY(list && list->verticalScrollBar()->maximum() > 0);
            QCOMPARE(list->toPlainText().split('\n'), copies);
            dialogs.closeQuestion();
            QVERIFY(!box->isVisible());
        });
        QVERIFY(!dialogs.listQuestion(m_window, "Conflict copies", "Bring them in?", copies));
    }

    void checkedAsAtStart_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QByteArray>("bytes"); // "" for a named pipe, "link" for a link out
        QTest::addColumn<QString>("told");
        const QByteArray cut = TestEnvironment::storeBytes({m_hello}) + "Work\\Macros\\b\\text=B";
        const QString cutTold = "could not be read in full: it ends in the middle of a line";
        QTest::newRow("cut off, at start") << "start" << cut << cutTold;
        QTest::newRow("cut off, by the sync tool") << "sync" << cut << cutTold;
        QTest::newRow("cut off, taken on") << "taken on" << cut << cutTold;
        // A link planted where the copy would go leads nowhere, and is not written through.
        QTest::newRow("cut off, a link in the copy's place")
            << "start" << cut << "Keyquill goes on with what could be read";
        QTest::newRow("named pipe, at start") << "start" << QByteArray() << "it is a named pipe";
        QTest::newRow("link out, by the sync tool")
            << "sync" << QByteArray("link") << "cannot be read: it is a symbolic link";
    }
    void checkedAsAtStart()
    {
        QFETCH(QString, when);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, told);
        QTemporaryDir outside;
        const QString secret = outside.filePath("secret");
        write(secret, {"Private/key|0|secret"});
        const QString file = m_dir.filePath(MacroStore::FileName);
        const auto plant = [&] {
            if (bytes.isEmpty())
                QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            else if (bytes == "link")
                QVERIFY(QFile::link(secret, file + ".tmp"));
            else
                QVERIFY(TestEnvironment::writeAsSyncTool(file + ".tmp", bytes, false));
            if (bytes.size() > 4)
                backdate(file + ".tmp");
            if (!bytes.isEmpty()) // in the file's place by a rename, as a sync tool does
                QVERIFY(::rename(QFile::encodeName(file + ".tmp"), QFile::encodeName(file)) == 0);
        };
        const QString planted = outside.filePath("planted");
        const QString copyName =
            m_dir.filePath("Keyquill.conf.damaged-" + QDate::currentDate().toString(Qt::ISODate));
        ::alarm(20); // a read that blocks ends the test here
        if (when == "start") {
            useFolder({}, {}, [&] {
                plant();
                if (QByteArray(QTest::currentDataTag()).contains("a link"))
                    QVERIFY(QFile::link(planted, copyName));
            });
        } else if (when == "sync") {
            useFolder({m_hello});
            plant();
        } else {
            clearFolder();
            plant();
            m_dialogs->choices << 0;
            QVERIFY(follower()->moveTo(m_dir.path()));
        }
        ::alarm(0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->asked.filter(told).isEmpty(), 3000);
        QVERIFY(!QFile::exists(planted));
        const QStringList copies =
            QDir(m_dir.path()).entryList({"Keyquill.conf.damaged-*"}, QDir::Files);
        QCOMPARE(copies.size(), bytes.size() > 4 ? 1 : 0);
        if (!copies.isEmpty())
            QCOMPARE(TestEnvironment::fileBytes(m_dir.filePath(copies.first())), bytes);
        QCOMPARE(m_window->store().saveNote("Work", "new", 0, "N"), bytes.size() > 4);
        QCOMPARE(TestEnvironment::fileBytes(secret),
                 TestEnvironment::storeBytes({"Private/key|0|secret"}));
        clearFolder();
    }

    void folderTakenOn_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("masters");
        QTest::newRow("empty folder") << false << -2 << QStringList{"Home", "Work"};
        QTest::newRow("cancelled") << true << -1 << QStringList{"Home", "Work"};
        QTest::newRow("used as it is") << true << 0 << QStringList{"Remote"};
        QTest::newRow("mine added") << true << 1 << QStringList{"Home", "Remote", "Work"};
    }
    void folderTakenOn()
    {
        QFETCH(bool, remote);
        QFETCH(int, answer);
        QFETCH(QStringList, masters);
        clearFolder();
        const QString file = m_dir.filePath(MacroStore::FileName);
        if (remote)
            write(file, {"Remote/r|0|R"});
        m_dialogs->choices << answer;
        QCOMPARE(follower()->moveTo(m_dir.path()), answer != -1);
        QCOMPARE(m_dialogs->asked.size(), remote ? 1 : 0);
        QCOMPARE(Preferences::load().storeFolder(), answer == -1 ? QString() : m_dir.path());
        QCOMPARE(m_window->store().masters(), masters);
        QCOMPARE(m_tree->topLevelItemCount(), masters.size());
        // And back: this computer's own master macros are where they were, the folder's stay.
        QVERIFY(follower()->moveTo(QString()));
        QCOMPARE(m_window->store().masters(), (QStringList{"Home", "Work"}));
        QCOMPARE(MacroStore(file).masters(),
                 remote && answer == -1 ? QStringList{"Remote"} : masters);
    }
};

QTEST_MAIN(TestStoreFollower)
#include "tst_storefollower.moc"
