// The window's commands, editor, tick, import and export, offscreen, with the questions answered
// by a script.
#include "support/fakeplatform.h"
#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"
#include "support/treedump.h"

#include "exchange/exportdlg.h"
#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

const int CtrlAltA = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const QString App = QStringLiteral("Keyquill|");
const QString Escapes = QStringLiteral(KEYQUILL_TEST_DATA "/escapes.mmacro");
const QString EuroNote = QStringLiteral("\u20acuro Letters/\u00c9t\u00e9|201326657|Caf\u00e9 costs "
                                        "5 \u20ac; a=b, \"quoted\" back\\slash 100%\nnext line");

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    FakePlatform m_platform;
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<MainWindow> m_window;
    QTreeWidget *m_tree = nullptr;

    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    void trigger(const QString &text)
    {
        for (QAction *action : m_window->findChildren<QAction *>()) {
            if (action->text() == text)
                return action->trigger();
        }
        QFAIL(qPrintable(text));
    }
    void select(int master, int note = -1)
    {
        QTreeWidgetItem *item = m_tree->topLevelItem(master);
        m_tree->setCurrentItem(note < 0 ? item : item->child(note));
    }

    QSystemTrayIcon *tray() const { return m_window->findChild<QSystemTrayIcon *>(); }
    // The tray menu's entries, the ticked one marked with "*" (trigger() finds them too).
    QStringList trayMenu() const
    {
        QStringList entries;
        const QList<QAction *> actions = tray()->contextMenu()->actions();
        for (const QAction *action : actions)
            entries << (action->isChecked() ? "*" : "") + action->text();
        return entries;
    }
    void import(const QString &path)
    {
        m_dialogs->files = {path};
        trigger("&Import Master Macro");
    }
    // Runs the export dialog with everything ticked; true when it closed.
    bool exportTo(const QString &path)
    {
        ExportDlg dialog(m_window->store(), *m_dialogs);
        m_dialogs->files = {path};
        dialog.show();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        return !dialog.isVisible();
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("Work", "hello", CtrlAltA, "Hello");
        TestEnvironment::writeNote("Work", "bye", 0, "Bye");
        TestEnvironment::writeNote("Home", "h", CtrlAltA, "Home");
        m_window.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_window = std::make_unique<MainWindow>(m_platform, m_dialogs.get());
        m_tree = child<QTreeWidget>("treeMacros");
    }

    void refusesNames_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("warning");
        const QString separator = "A name cannot contain \"/\" or \"\\\": the macro store uses "
                                  "them to separate its groups.";
        const auto row = [](const char *tag, QString command, QString name, QString warning) {
            QTest::newRow(tag) << command << name << App + warning;
        };
        row("slash", "Add Master Macro", "a/b", separator);
        row("backslash", "Add Note", "a\\b", separator);
        row("master, other case", "Add Master Macro", "WORK", "Master Macro with that name exists");
        row("rename to own name", "Rename", "Home", "Master Macro ot Note with that name exists");
    }
    void refusesNames()
    {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, warning);
        select(0);
        m_dialogs->names = {name, QString()};
        trigger(command);
        QCOMPARE(m_dialogs->asked.size(), 3); // the name, the warning, the name offered again
        QCOMPARE(m_dialogs->asked.at(1), warning);
        QVERIFY(m_dialogs->asked.at(2).endsWith(QLatin1Char('|') + name));
        QVERIFY(treeDump(m_tree).size() == 5 && TestEnvironment::storeDump().size() == 3);
    }

    void commandsKeepTreeStoreAndHotKeysTogether()
    {
        HotKeyController &keys = m_window->hotKeys();
        m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked); // Work
        QCOMPARE(keys.activeMaster(), "Work");
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Checked); // Home unticks Work
        QVERIFY(m_tree->topLevelItem(1)->checkState(0) == Qt::Unchecked && keys.isActive("Home"));

        select(0);
        m_dialogs->names = {"Holiday", "new note"};
        trigger("Rename");
        QCOMPARE(keys.activeMaster(), "Holiday");
        trigger("Add Note");
        select(0, 0);
        m_dialogs->questions = {false, true};
        trigger("Delete"); // cancelled
        trigger("Delete");
        QCOMPARE(keys.liveCodes(), QList<int>());
        QCOMPARE(treeDump(m_tree), QStringList({"Holiday", "Holiday/new note|", "Work", "Work/bye|",
                                                "Work/hello|Ctrl+Alt+A"}));
        QCOMPARE(TestEnvironment::storeDump(),
                 QStringList({"Holiday/new note|0|", "Work/bye|0|Bye",
                              QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA)}));
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(keys.activeMaster(), QString());
    }

    // Note rows past the first screenful are made while idle: a command must not wait for them.
    void commandsReachRowsNotMadeYet()
    {
        QSettings store;
        for (int i = 0; i < 1000; ++i)
            store.setValue(QString("MasterMacros/Big/Macros/%1/shortcut").arg(i), 0);
        store.sync();
        m_window = std::make_unique<MainWindow>(m_platform, m_dialogs.get());
        m_tree = child<QTreeWidget>("treeMacros");
        select(2); // Work
        m_dialogs->names = {"new", "Zed"};
        trigger("Add Note");
        select(1); // Home
        trigger("Delete");
        trigger("Add Master Macro"); // makes every row first
        QCOMPARE(treeDump(m_tree).size(), 1006);
        QCOMPARE(treeDump(m_tree).mid(1001),
                 QStringList({"Work", "Work/bye|", "Work/hello|Ctrl+Alt+A", "Work/new|", "Zed"}));
    }

    // Rows named after a command run it once Work is live.
    void trayMenuFollowsTree_data()
    {
        QTest::addColumn<QStringList>("masters"); // as the menu lists them, the ticked one "*"
        QTest::addColumn<QString>("live");
        QTest::newRow("tick in the tree") << QStringList{"Home", "*Work"} << "Work";
        QTest::newRow("choose the live one") << QStringList{"Home", "Work"} << "";
        QTest::newRow("Rename") << QStringList{"Home", "*R&&D"} << "R&D";
        QTest::newRow("Add Master Macro") << QStringList{"Home", "*Work", "R&&D"} << "Work";
        QTest::newRow("&Import Master Macro")
            << QStringList{"Home", "*Work", "Stra\u00dfe", "\u20acuro Letters"} << "Work";
        QTest::newRow("Delete") << QStringList{"Home"} << "";
        QTest::newRow("unsaved edits") << QStringList{"Home", "Work"} << "";
    }
    void trayMenuFollowsTree()
    {
        QFETCH(QStringList, masters);
        QFETCH(QString, live);
        const QString step = QTest::currentDataTag();
        m_dialogs->files = {Escapes};
        m_dialogs->names = {"R&D"};
        select(1, step == "unsaved edits" ? 0 : -1); // Work
        if (step == "unsaved edits")
            QTest::keyClicks(child<QTextEdit>("macro"), "x");
        if (step == "tick in the tree")
            m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        else
            trigger("Work");
        if (step != "tick in the tree" && step != "unsaved edits")
            trigger(step == "choose the live one" ? "Work" : step);
        QTRY_COMPARE(trayMenu(), (masters + QStringList{"", "&Quit"}));
        QCOMPARE(tray()->contextMenu()->actions().first()->isEnabled(), step != "unsaved edits");
        QCOMPARE(m_window->hotKeys().activeMaster(), live);
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            QCOMPARE(m_tree->topLevelItem(i)->checkState(0) == Qt::Checked,
                     m_tree->topLevelItem(i)->text(0) == live);
        QCOMPARE(tray()->toolTip().section('\n', 0, 0),
                 QString("Key-Quill by Orlenvar") + (live.isEmpty() ? "" : " - " + live));
    }

    void startPreferences_data()
    {
        QTest::addColumn<bool>("on"); // both check boxes
        QTest::addColumn<bool>("deletedSince");
        QTest::addColumn<QString>("live");
        QTest::newRow("on") << true << false << "Work";
        QTest::newRow("off") << false << false << "";
        QTest::newRow("on, deleted since") << true << true << "";
    }
    void startPreferences()
    {
        QFETCH(bool, on);
        QFETCH(bool, deletedSince);
        QFETCH(QString, live);
        for (const bool tick : {true, on}) { // on first: off must take them back
            ModalAnswerer answerer;
            answerer.expect([tick](QWidget *dialog) {
                for (const char *name : {"tickLastLive", "startAtLogin"})
                    dialog->findChild<QCheckBox *>(name)->setChecked(tick);
                static_cast<QDialog *>(dialog)->accept();
            });
            trigger("Preferences…");
        }
        QCOMPARE(TestEnvironment::fileBytes(m_env.configDir() + "/autostart/keyquill.desktop")
                     .contains("\nExec=keyquill --minimize-to-tray\n"),
                 on);
        trigger("Work"); // live through the tray
        if (deletedSince)
            QVERIFY(m_window->store().remove("Work"));
        // As after a crash: the next start finds what the store held at the last change.
        MainWindow next(m_platform, m_dialogs.get());
        QCOMPARE(next.hotKeys().activeMaster(), live);
    }

    void editorSavesMarkupAndRefusesATakenKey()
    {
        m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        select(1, 0); // Work/bye
        auto *text = child<QTextEdit>("macro");
        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, "<b>&amp;</b> x");
        QVERIFY(!m_tree->isEnabled() && m_window->editor().isDirty());
        child<QCheckBox>("shortcutCtrl")->click();
        child<QCheckBox>("shortcutAlt")->click();
        auto *key = child<QComboBox>("shortcutKey");
        key->setCurrentIndex(key->findData(int(Qt::Key_A)));
        QVERIFY(!key->itemIcon(key->currentIndex()).isNull()); // marked as taken

        child<QPushButton>("btnUpdate")->click();
        QCOMPARE(
            m_dialogs->asked,
            QStringList{App + "Shortcut already assigned to another Note in this Master Macro"});
        QCOMPARE(TestEnvironment::storeDump().at(1), "Work/bye|0|Bye");
        key->setCurrentIndex(key->findData(int(Qt::Key_B)));
        child<QPushButton>("btnUpdate")->click();
        QVERIFY(m_tree->isEnabled() && !m_window->editor().isDirty());
        const int code = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
        QCOMPARE(TestEnvironment::storeDump().at(1),
                 QStringLiteral("Work/bye|%1|Bye<b>&amp;</b> x").arg(code));
        QVERIFY(m_window->hotKeys().liveCodes().contains(code));
        select(1, 1);
        select(1, 0);
        QCOMPARE(text->toPlainText(), "Bye<b>&amp;</b> x");
    }

    void fullDiskKeepsEditsAndStore()
    {
        select(1, 1); // Work/hello
        const QStringList before = TestEnvironment::storeDump();
        child<QTextEdit>("macro")->setPlainText(QString(100000, QLatin1Char('x')));
        {
            FileSizeLimit full(1000); // as a full disk
            child<QPushButton>("btnUpdate")->click();
        }
        QCOMPARE(m_dialogs->asked.size(), 1);
        QVERIFY(m_dialogs->asked.first().contains("The Note \"hello\" was not saved"));
        QVERIFY(m_window->editor().isDirty());
        QCOMPARE(TestEnvironment::storeDump(), before);
        child<QPushButton>("btnRevert")->click();
        QCOMPARE(child<QTextEdit>("macro")->toPlainText(), "Hello");
    }

    void roundTripKeepsEscapes()
    {
        import(Escapes);
        QVERIFY(TestEnvironment::storeDump().contains(EuroNote));
        const QStringList before = TestEnvironment::storeDump();
        const QString file = m_dir.filePath("round.mmacro");
        QVERIFY(exportTo(file));
        // Back in under clashing names: each is asked for anew, letter case ignored.
        m_dialogs->names = {"Home 2", "Strasse 2", "Work 2", "Euro 2"};
        import(file);
        QCOMPARE(m_dialogs->asked.size(), 7); // three file names and four new names
        QVERIFY(m_dialogs->asked.at(3).startsWith(
            "Import Master Macro|Master Macro with name \"Home\" exists."));
        QStringList after = TestEnvironment::storeDump();
        QCOMPARE(after.size(), 2 * before.size());
        QVERIFY(after.contains(QString(EuroNote).replace("\u20acuro Letters", "Euro 2")));
        QCOMPARE(treeDump(m_tree).size(), 2 * (before.size() + 4));
    }

    void hostileFilesLeaveTheStoreSound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("added"); // notes the import adds
        QTest::addColumn<QString>("warning");
        const QString data = QStringLiteral(KEYQUILL_TEST_DATA "/");
        QTest::newRow("a folder") << data << QStringList() << "could not be read as a Master";
        // The store refuses the import (a full disk): none of it stays, in the tree either.
        QTest::newRow("refused") << Escapes << QStringList() << "Macros of";
        QTest::newRow("separators in names")
            << data + "separators.mmacro" << QStringList{"Fine/ok|0|kept"} << QString();
        const QString odd = "Odd/absurd|0|a Odd/again|0|same@section@twice Odd/dup|67108929|second "
                            "Odd/hexa|0| Odd/max|2147483647| Odd/negative|-1| Odd/word|0|";
        QTest::newRow("odd keys") << data + "hostile-keys.mmacro"
                                  << odd.split(' ').replaceInStrings("@", " ") << QString();
        // Half of a surrogate pair, by hex and by octal escape, comes in as U+FFFD.
        const QString replaced(QChar::ReplacementCharacter);
        QTest::newRow("lone surrogates")
            << data + "surrogates.mmacro"
            << QStringList{"Half/h|0|a" + replaced + "z", "Half/o|0|" + replaced} << QString();
    }
    void hostileFilesLeaveTheStoreSound()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, added);
        const QStringList base = TestEnvironment::storeDump();
        {
            FileSizeLimit full(QTest::currentDataTag() == QLatin1String("refused")
                                   ? QFile(m_window->store().fileName()).size()
                                   : 1 << 30);
            import(path);
        }
        QFETCH(QString, warning);
        QCOMPARE(m_dialogs->asked.size(), warning.isEmpty() ? 1 : 2);
        QVERIFY(m_dialogs->asked.last().contains(warning));
        QStringList stored = TestEnvironment::storeDump();
        stored.removeIf([&base](const QString &note) { return base.contains(note); });
        stored.sort();
        QCOMPARE(stored, added);
        // What the tree shows is what the store holds, and ticking it survives odd codes.
        QCOMPARE(treeDump(m_tree).size(), 5 + added.size() + !added.isEmpty());
        m_tree->topLevelItem(m_tree->topLevelItemCount() - 1)->setCheckState(0, Qt::Checked);
    }

    void failedExportKeepsTheDialogAndTheTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("a folder") << QString();
        QTest::newRow("full disk") << "full.mmacro";
        QTest::newRow("the store itself") << "store";
    }
    void failedExportKeepsTheDialogAndTheTarget()
    {
        QFETCH(QString, target);
        QString path = target == "store" ? m_window->store().fileName() : m_dir.filePath(target);
        if (target == "full.mmacro") {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        }
        const QByteArray before = TestEnvironment::fileBytes(path);
        {
            FileSizeLimit full(target == "full.mmacro" ? 10 : 1 << 30);
            QVERIFY(!exportTo(path));
        }
        QCOMPARE(m_dialogs->asked.size(), 2);
        QVERIFY(m_dialogs->asked.last().contains("could not be written to"));
        QCOMPARE(TestEnvironment::fileBytes(path), before);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
