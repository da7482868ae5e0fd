// The window's commands, editor and tick, offscreen, with the questions answered by a script.
#include "support/filesizelimit.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "mainwindow/mainwindow.h"
#include "widgets/checktreewidget.h"

#include <memory>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

const int CtrlAltA = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const QString App = QStringLiteral("Keyquill|");
const QString Title = QStringLiteral("Key-Quill by Orlenvar");

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
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

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("Work", "hello", CtrlAltA, "Hello");
        TestEnvironment::writeNote("Work", "bye", 0, "Bye");
        TestEnvironment::writeNote("Home", "h", CtrlAltA, "Home");
        m_window.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_window = std::make_unique<MainWindow>(m_dialogs.get());
        m_tree = child<QTreeWidget>("treeMacros");
    }

    void refusesNames_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("warning");
        const QString separator = App + "A name cannot contain \"/\" or \"\\\": the macro store "
                                        "uses them to separate its groups.";
        QTest::newRow("slash") << "Add Master Macro" << "a/b" << separator;
        QTest::newRow("backslash") << "Add Note" << "a\\b" << separator;
        QTest::newRow("master, other case") << "Add Master Macro" << "WORK"
                                            << App + "Master Macro with that name exists";
        QTest::newRow("rename to own name") << "Rename" << "Home"
                                            << App + "Master Macro ot Note with that name exists";
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
        QCOMPARE(TestEnvironment::treeDump(m_tree).size(), 5);
        QCOMPARE(TestEnvironment::storeDump().size(), 3);
    }

    void commandsKeepTreeStoreAndHotKeysTogether()
    {
        HotKeyController &keys = m_window->hotKeys();
        m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked); // Work
        QCOMPARE(keys.activeMaster(), "Work");
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Checked); // Home unticks Work
        QCOMPARE(m_tree->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QCOMPARE(keys.activeMaster(), "Home");

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
        QCOMPARE(TestEnvironment::treeDump(m_tree),
                 QStringList({"Holiday", "Holiday/new note|", "Work", "Work/bye|",
                              "Work/hello|Ctrl+Alt+A"}));
        QCOMPARE(TestEnvironment::storeDump(),
                 QStringList({"Holiday/new note|0|", "Work/bye|0|Bye",
                              QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA)}));
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(keys.activeMaster(), QString());
    }

    // Rows named after a command run it once Work is live.
    void trayMenuFollowsTree_data()
    {
        QTest::addColumn<QStringList>("masters"); // as the menu lists them, the ticked one "*"
        QTest::addColumn<QString>("live");
        QTest::newRow("tick in the tree") << QStringList{"Home", "*Work"} << "Work";
        QTest::newRow("choose the live one") << QStringList{"Home", "Work"} << "";
        QTest::newRow("choose another") << QStringList{"*Home", "Work"} << "Home";
        QTest::newRow("Rename") << QStringList{"Home", "*R&&D"} << "R&D";
        QTest::newRow("Add Master Macro") << QStringList{"Home", "*Work", "R&&D"} << "Work";
        QTest::newRow("&Import Master Macro") << QStringList{"Home", "*Work", "In"} << "Work";
        QTest::newRow("Delete") << QStringList{"Home"} << "";
        QTest::newRow("unsaved edits") << QStringList{"Home", "Work"} << "";
    }
    void trayMenuFollowsTree()
    {
        QFETCH(QStringList, masters);
        QFETCH(QString, live);
        const QString step = QTest::currentDataTag();
        QTemporaryDir dir;
        QSettings(dir.filePath("in.mmacro"), QSettings::IniFormat)
            .setValue("In/Macros/n/text", "t");
        m_dialogs->files = {dir.filePath("in.mmacro")};
        m_dialogs->names = {"R&D"};
        select(1, step == "unsaved edits" ? 0 : -1); // Work
        if (step == "unsaved edits")
            QTest::keyClicks(child<QTextEdit>("macro"), "x");
        if (step == "tick in the tree")
            m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        else
            trigger("Work");
        if (step.startsWith("choose"))
            trigger(step.endsWith("another") ? "Home" : "Work");
        else if (QStringList{"Rename", "Add Master Macro", "&Import Master Macro", "Delete"}
                     .contains(step))
            trigger(step);
        QTRY_COMPARE(trayMenu(), (masters + QStringList{"", "&Quit"}));
        QCOMPARE(tray()->contextMenu()->actions().first()->isEnabled(), step != "unsaved edits");
        QCOMPARE(m_window->hotKeys().activeMaster(), live);
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            QCOMPARE(m_tree->topLevelItem(i)->checkState(0) == Qt::Checked,
                     m_tree->topLevelItem(i)->text(0) == live);
        QCOMPARE(tray()->toolTip(), live.isEmpty() ? Title : Title + " - " + live);
        QCOMPARE(m_window->windowTitle(), Title);
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
        QCOMPARE(m_dialogs->asked,
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
            FileSizeLimit full(1000);
            QVERIFY(full.isActive());
            child<QPushButton>("btnUpdate")->click();
        }
        QCOMPARE(m_dialogs->asked.size(), 1);
        QVERIFY(m_dialogs->asked.first().contains("The Note \"hello\" was not saved"));
        QVERIFY(m_window->editor().isDirty());
        QCOMPARE(TestEnvironment::storeDump(), before);
        child<QPushButton>("btnRevert")->click();
        QCOMPARE(child<QTextEdit>("macro")->toPlainText(), "Hello");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
