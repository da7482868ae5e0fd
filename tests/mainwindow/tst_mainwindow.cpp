// The window's commands, editor, tick and tray, offscreen, with the questions answered by a
// script.
#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/windowfixture.h"

#include "mainwindow/placeholdershelp.h"
#include "mainwindow/preferencesdlg.h"
#include "mainwindow/unsavededit.h"
#include "store/preferences.h"

namespace {

const QString App = QStringLiteral("Keyquill|");

} // namespace

class TestMainWindow final : public WindowFixture
{
    Q_OBJECT

    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
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
        for (const QAction *action : tray()->contextMenu()->actions())
            if (action->isVisible())
                entries << (action->isChecked() ? "*" : "") + action->text();
        return entries;
    }
    // What a screen reader says of the tree, and whether the guide over it shows.
    QString guide() const
    {
        const auto *label = child<QLabel>("firstStartGuide");
        return QAccessible::queryAccessibleInterface(m_tree)->text(QAccessible::Description) +
               (label->isVisible() ? "|shown" : "");
    }

private Q_SLOTS:
    void namesAreCheckedBeforeUse_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("warning");
        const char *separator = "A name cannot contain \"/\" or \"\\\": the macro store uses "
                                "them to separate its groups.";
        const auto row = [](const char *tag, QString command, QString name, const char *warning) {
            QTest::newRow(tag) << command << name << (warning ? App + warning : QString());
        };
        row("slash", "Add Master Macro", "a/b", separator);
        row("backslash", "Add Note", "a\\b", separator);
        row("master, other case", "Add Master Macro", "WORK", "Master Macro with that name exists");
        row("rename to own name", "Rename", "Home", "Master Macro ot Note with that name exists");
        row("note, other case: accepted", "Add Note", "H", nullptr);
        // Selected, so that "Add Note" and the keyboard act on it next.
        row("new master: accepted, selected", "Add Master Macro", "Travel", nullptr);
    }
    void namesAreCheckedBeforeUse()
    {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, warning);
        select(0);
        m_dialogs->names = {name, QString()};
        trigger(command);
        const bool accepted = warning.isNull();
        // Refused: the name, the warning, the name offered again.
        QCOMPARE(m_dialogs->asked.size(), accepted ? 1 : 3);
        QCOMPARE(m_dialogs->asked.value(1), warning);
        QVERIFY(accepted || m_dialogs->asked.at(2).endsWith(QLatin1Char('|') + name));
        QVERIFY(treeDump().size() == 5 + accepted &&
                TestEnvironment::storeDump().size() == 3 + (accepted && command == "Add Note"));
        if (accepted && command == "Add Master Macro")
            QCOMPARE(m_tree->currentItem()->text(0), name);
    }

    // An empty store: the tree says where to begin and links to the import; "Add Note" with
    // nothing to add to, or nothing selected, says why it did nothing.
    void newcomerIsGuided()
    {
        TestEnvironment::clearStore();
        remake();
        m_window->show();
        QVERIFY(guide().contains("Press \"Add Master Macro\" to begin"));
        QVERIFY(guide().endsWith("|shown"));
        trigger("Add Note");
        child<QLabel>("firstStartGuide")->linkActivated("import");
        m_dialogs->names = {"Travel"};
        trigger("Add Master Macro");
        QCOMPARE(guide(), QString());
        m_tree->clearSelection();
        trigger("Add Note");
        QCOMPARE(
            m_dialogs->asked,
            QStringList({App + "A Note belongs to a Master Macro, and there is none yet: add "
                               "one with \"Add Master Macro\" first.",
                         "file|Import Master Macro", "Add Master Macro|Enter Master Macro name|",
                         App + "Select the Master Macro the new Note belongs to (or one of "
                               "its Notes) first."}));
    }

    // Help → "Placeholders…" shows the README's reference, rendered.
    void placeholderReferenceIsTheReadmes()
    {
        QFile readme(KEYQUILL_TEST_DATA "/../../README.md");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const QString begin = "<!-- placeholder reference -->\n";
        const qsizetype from = text.indexOf(begin) + begin.size();
        QCOMPARE(text.mid(from, text.indexOf("<!-- end of placeholder reference -->") - from),
                 PlaceholdersHelp::text());
        QString shown;
        ModalAnswerer answerer;
        answerer.expect([&shown](QWidget *help) {
            shown = help->windowTitle() + '|' +
                    help->findChild<QTextBrowser *>("reference")->toPlainText();
            help->close();
        });
        trigger("Placeholders…");
        QVERIFY2(shown.startsWith("Placeholders|Placeholders are filled in only while"),
                 qPrintable(shown));
        QVERIFY(shown.contains("{{input:Label}}") && !shown.contains("|---|"));
    }

    // The keyboard starts in the tree (Home, Space ticks the first master macro) and goes on
    // through the editor's inputs in the form's order; the key list offers F1-F12, 0-9, A-Z.
    void keyboardStartsInTheTree()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QCOMPARE(QApplication::focusWidget(), m_tree);
        QTest::keyClick(m_tree, Qt::Key_Home);
        QTest::keyClick(m_tree, Qt::Key_Space);
        QCOMPARE(m_app->live().name(), "Home");
        QCOMPARE(QApplication::focusWidget(), m_tree); // the tick's redraw keeps it there
        select(1, 0);
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, QStringList({"treeMacros", "shortcutCtrl", "shortcutAlt", "shortcutShift",
                                     "shortcutKey", "macro"}));
        QStringList keys;
        const auto *key = child<QComboBox>("shortcutKey");
        for (int i = 0; i < key->count(); ++i)
            keys << key->itemText(i) + '=' + QString::number(key->itemData(i).toInt(), 16);
        QStringList expected;
        for (int i = 1; i <= 12; ++i)
            expected << QString("F%1=%2").arg(i).arg(Qt::Key_F1 + i - 1, 0, 16);
        for (char c : QByteArray("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
            expected << QString("%1=%2").arg(c).arg(int(c), 0, 16);
        QCOMPARE(keys, expected);
    }

    void commandsKeepTreeStoreAndHotKeysTogether()
    {
        KeyRegistration &keys = m_app->keys();
        const LiveMaster &live = m_app->live();
        m_tree->topLevelItem(1)->setCheckState(0, Qt::Checked); // Work
        QCOMPARE(live.name(), "Work");
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Checked); // Home unticks Work
        QVERIFY(m_tree->topLevelItem(1)->checkState(0) == Qt::Unchecked && live.isLive("Home"));

        select(0);
        m_dialogs->names = {"Holiday", "new note", "renamed"};
        trigger("Rename");
        QCOMPARE(live.name(), "Holiday");
        trigger("Add Note");
        select(0, 1);
        trigger("Rename");
        select(0, 0);
        m_dialogs->questions = {false, true};
        trigger("Delete"); // cancelled
        trigger("Delete");
        QCOMPARE(keys.liveCodes(), QList<int>());
        QCOMPARE(treeDump(), QStringList({"Holiday", "Holiday/renamed|", "Work", "Work/bye|",
                                          "Work/hello|Ctrl+Alt+A"}));
        QCOMPARE(TestEnvironment::storeDump(),
                 QStringList({"Holiday/renamed|0|", "Work/bye|0|Bye",
                              QStringLiteral("Work/hello|%1|Hello").arg(CtrlAltA)}));
        m_tree->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(live.name(), QString());
    }

    // Note rows past the first screenful are made while idle: a command must not wait for them.
    void commandsReachRowsNotMadeYet()
    {
        QSettings store;
        for (int i = 0; i < 1000; ++i)
            store.setValue(QString("MasterMacros/Big/Macros/%1/shortcut").arg(i), 0);
        store.sync();
        remake();
        m_tree = child<QTreeWidget>("treeMacros");
        select(2); // Work
        m_dialogs->names = {"new", "Zed"};
        trigger("Add Note");
        select(1); // Home
        trigger("Delete");
        trigger("Add Master Macro"); // makes every row first
        QCOMPARE(treeDump().size(), 1006);
        QCOMPARE(treeDump().mid(1001),
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
        // Such as XWayland's limits: said in the tool tip too, below the live master macro.
        m_platform.caveatText = "Only X11 programs send the hot keys.";
        const auto plain = qScopeGuard([this] { m_platform.caveatText.clear(); });
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
        const QStringList menu = QStringList({"Show Keyquill", "Preferences…", ""}) + masters;
        QTRY_COMPARE(trayMenu(), (menu + QStringList{"", "&Quit"}));
        QCOMPARE(tray()->contextMenu()->actions().at(4)->isEnabled(), step != "unsaved edits");
        QCOMPARE(trayMenu().at(1), "Preferences…"); // off with the master macros, as the menu bar
        QCOMPARE(tray()->contextMenu()->actions().at(2)->isEnabled(), step != "unsaved edits");
        QCOMPARE(m_app->live().name(), live);
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            QCOMPARE(m_tree->topLevelItem(i)->checkState(0) == Qt::Checked,
                     m_tree->topLevelItem(i)->text(0) == live);
        QCOMPARE(tray()->toolTip().section('\n', 0, 0),
                 QString("Key-Quill by Orlenvar") + (live.isEmpty() ? "" : " - " + live));
        if (step != "unsaved edits") // nothing went live or not since the window was made
            QCOMPARE(tray()->toolTip().section('\n', 1, 1), m_platform.caveatText);
    }

    void quitAsksAboutAnUnsavedEdit_data()
    {
        QTest::addColumn<int>("answer"); // 0 save, 1 discard, -1 cancel
        QTest::addColumn<bool>("gone");  // the note deleted before the next start
        QTest::newRow("save") << 0 << false;
        QTest::newRow("discard") << 1 << false;
        QTest::newRow("cancel, then ended from outside") << -1 << false;
        QTest::newRow("cancel, ended, the note deleted since") << -1 << true;
    }
    // An end from outside asks nothing: the edit is kept privately, and the next start offers it
    // back once the user comes to the window.
    void quitAsksAboutAnUnsavedEdit()
    {
        QFETCH(int, answer);
        QFETCH(bool, gone);
        select(1, 0); // Work/bye
        QTest::keyClicks(child<QTextEdit>("macro"), "x");
        m_dialogs->choices = {answer};
        bool quitting = false;
        QTimer::singleShot(0, this, [&] {
            trigger("&Quit");
            QEventLoop probe; // ends at once once the program is told to quit
            QTimer::singleShot(0, &probe, [&probe] { probe.exit(1); });
            quitting = probe.exec() != 1;
            QCoreApplication::exit(0);
        });
        QCoreApplication::exec();
        QCOMPARE(quitting, answer >= 0);
        QCOMPARE(m_dialogs->asked,
                 QStringList{App + "The Note \"bye\" in \"Work\" has changes that are not saved."});
        QCOMPARE(TestEnvironment::storeDump().at(1),
                 answer == 0 ? "Work/bye|0|xBye" : "Work/bye|0|Bye");
        m_app->keepUnsavedEdit(); // as the program's end does
        const QString kept = UnsavedEdit::fileName();
        QCOMPARE(QFile::exists(kept), answer < 0);
        if (answer >= 0)
            return;
        const auto others =
            QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QVERIFY(!(QFile::permissions(kept) & others));
        m_app.reset();
        if (gone)
            QVERIFY(MacroStore().remove("Work", "bye"));
        m_dialogs->asked.clear();
        m_dialogs->choices = {0};
        remake();
        QVERIFY(m_dialogs->asked.isEmpty()); // not before the user comes to the window
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QTRY_COMPARE(m_dialogs->asked.size(), 1);
        QVERIFY(m_dialogs->asked.first().contains(
            "\"bye\" in \"Work\" had changes that were not saved"));
        QVERIFY(m_window->editor().isDirty() && !QFile::exists(kept));
        QCOMPARE(m_window->editor().note() + '|' + m_window->editor().text(), "bye|xBye");
        QCOMPARE(TestEnvironment::storeDump().at(1), gone ? "Work/bye|0|xBye" : "Work/bye|0|Bye");
    }

    void startPreferences_data()
    {
        QTest::addColumn<bool>("on"); // both check boxes
        QTest::addColumn<bool>("deletedSince");
        QTest::addColumn<QString>("live");
        QTest::newRow("on") << true << false << "Work";
        QTest::newRow("off") << false << false << "";
        QTest::newRow("on, deleted since") << true << true << "";
        QTest::newRow("on, the program on the PATH") << true << false << "Work";
    }
    void startPreferences()
    {
        QFETCH(bool, on);
        QFETCH(bool, deletedSince);
        QFETCH(QString, live);
        // Started by name only where that name on the PATH is this program.
        const bool onPath = QByteArray(QTest::currentDataTag()).contains("PATH");
        const QString pathBefore = qEnvironmentVariable("PATH");
        const auto pathBack = qScopeGuard([&] { qputenv("PATH", pathBefore.toLocal8Bit()); });
        if (onPath) {
            QVERIFY(
                QFile::link(QCoreApplication::applicationFilePath(), m_dir.filePath("keyquill")));
            qputenv("PATH", (m_dir.path() + ':' + pathBefore).toLocal8Bit());
        }
        m_platform.namesPrograms = on;       // else the paste keys cannot be honoured
        for (const bool tick : {true, on}) { // on first: off must take them back
            ModalAnswerer answerer;
            answerer.expect([this, tick, on](QWidget *dialog) {
                for (const char *name : {"tickLastLive", "startAtLogin"})
                    dialog->findChild<QCheckBox *>(name)->setChecked(tick);
                const bool editable = dialog->findChild<QWidget *>("pasteKeys")->isEnabled();
                // A paste meanwhile renews the desktop's token; the dialog must not undo that.
                Q_EMIT m_platform.platform().events().keyboardTokenChanged(QString::number(tick));
                static_cast<QDialog *>(dialog)->accept();
                QCOMPARE(editable, on);
            });
            trigger("Preferences…");
        }
        QCOMPARE(Preferences::load().keyboardToken(), QString::number(on));
        const QByteArray program =
            onPath ? "keyquill" : QCoreApplication::applicationFilePath().toUtf8();
        QCOMPARE(TestEnvironment::fileBytes(m_env.configDir() + "/autostart/keyquill.desktop")
                     .contains("\nExec=" + program + " --minimize-to-tray\n"),
                 on);
        trigger("Work"); // live through the tray
        if (deletedSince)
            QVERIFY(m_window->store().remove("Work"));
        // As after a crash: the next start finds what the store held at the last change.
        m_app.reset();
        remake();
        QCOMPARE(m_app->live().name(), live);
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
        key->setCurrentIndex(key->findData(int(Qt::Key_F5))); // switches to a text console
        QVERIFY(key->currentData(Qt::ToolTipRole).toString().contains("console switching"));
        child<QPushButton>("btnUpdate")->click();
        QVERIFY(m_dialogs->asked.last().contains("console switching"));
        QCOMPARE(TestEnvironment::storeDump().at(1), "Work/bye|0|Bye");
        key->setCurrentIndex(key->findData(int(Qt::Key_B)));
        child<QPushButton>("btnUpdate")->click();
        QVERIFY(m_tree->isEnabled() && !m_window->editor().isDirty());
        const int code = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
        QCOMPARE(TestEnvironment::storeDump().at(1),
                 QStringLiteral("Work/bye|%1|Bye<b>&amp;</b> x").arg(code));
        QVERIFY(m_app->keys().liveCodes().contains(code));
        select(1, 1); // hello: its own key is free to keep, bye's is taken
        QVERIFY(key->itemIcon(key->findData(int(Qt::Key_A))).isNull());
        QVERIFY(!key->itemIcon(key->findData(int(Qt::Key_B))).isNull());
        select(1, 0);
        QCOMPARE(text->toPlainText(), "Bye<b>&amp;</b> x");

        // An abbreviation: refused with white space or when another note has it, letter case
        // counting; kept as it was while the field is hidden.
        m_window->editor().setAbbreviationShown(true);
        auto *abbreviation = child<QLineEdit>("abbreviation");
        QStringList refusals;
        for (const QString &typed : {":b", "two words", ":b", ":B"}) {
            if (typed != "two words" && refusals.isEmpty())
                select(1, typed == ":b" ? 0 : 1);
            if (typed == "two words")
                select(1, 1);
            abbreviation->clear();
            QTest::keyClicks(abbreviation, typed);
            const qsizetype asked = m_dialogs->asked.size();
            child<QPushButton>("btnUpdate")->click();
            if (m_dialogs->asked.size() > asked)
                refusals << m_dialogs->asked.last();
        }
        QCOMPARE(refusals.size(), 2);
        QVERIFY(refusals.first().contains("no white space"));
        QVERIFY(refusals.last().endsWith("Abbreviation already assigned to another Note in this "
                                         "Master Macro"));
        QCOMPARE(m_window->store().note("Work", "hello").abbreviation, ":B");
        select(1, 0);
        QTest::keyClicks(abbreviation, "x");
        m_window->editor().setAbbreviationShown(false);
        child<QPushButton>("btnUpdate")->click();
        QCOMPARE(m_window->store().note("Work", "bye").abbreviation, ":b");
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
        QVERIFY2(m_dialogs->asked.first().contains("the disk may be full)."),
                 qPrintable(m_dialogs->asked.first()));
        QVERIFY(m_window->editor().isDirty());
        QCOMPARE(TestEnvironment::storeDump(), before);
        child<QPushButton>("btnRevert")->click();
        QCOMPARE(child<QTextEdit>("macro")->toPlainText(), "Hello");
    }

    void deleteQuestionDefaultsToCancel()
    {
        int defaultButton = 0;
        ModalAnswerer answerer;
        answerer.expect([&defaultButton](QWidget *shown) {
            auto *box = static_cast<QMessageBox *>(shown);
            defaultButton = box->standardButton(box->defaultButton());
            box->button(QMessageBox::Ok)->click();
        });
        QVERIFY(Dialogs().question(m_window, "Delete", "Delete?"));
        QCOMPARE(defaultButton, int(QMessageBox::Cancel));
    }
    // The paste-key table's first row is every other program's: kept, never removed, and
    // "Type the text" is offered on every row.
    void pasteKeyRowForOtherPrograms()
    {
        Preferences preferences;
        preferences.setPasteKeys({{"vmviewer", PasteStroke::Type}});
        preferences.setDefaultPasteKey(PasteStroke::Type);
        PreferencesDlg dialog(preferences);
        auto *table = dialog.findChild<QTableWidget *>("pasteKeys");
        QCOMPARE(table->item(0, 0)->text(), "Every other program");
        // At the opening size the explanation shows whole, and rows added keep the first in view.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto *about = dialog.findChild<QLabel *>("labelPasteKeys");
        QVERIFY(about->height() >= about->heightForWidth(about->width()));
        for (int i = 0; i < 3; ++i)
            dialog.findChild<QPushButton *>("btnAddPasteKey")->click();
        for (const int row : {0, table->rowCount() - 1})
            QVERIFY(table->viewport()->rect().contains(table->visualItemRect(table->item(row, 0))));
        auto *others = qobject_cast<QComboBox *>(table->cellWidget(0, 1));
        QCOMPARE(others->currentText(), "Type the text");
        table->setCurrentCell(0, 0);
        dialog.findChild<QPushButton *>("btnRemovePasteKey")->click();
        QCOMPARE(table->rowCount(), 5); // the first row stays
        others->setCurrentIndex(others->findText("Ctrl+Shift+V"));
        QCOMPARE(dialog.preferences().defaultPasteKey(), PasteStroke::CtrlShiftV);
        QCOMPARE(dialog.preferences().pasteKeys(),
                 (QHash<QString, int>{{"vmviewer", PasteStroke::Type}}));

        // A program picked by a click, or named by hand, starts with its built-in key, else
        // with every other program's; a program already listed is only selected.
        m_platform.windowClass = {"keyquill", "Keyquill"}; // the dialog itself
        dialog.setWindowPicker(&m_platform);
        auto *pick = dialog.findChild<QPushButton *>("btnPickWindow");
        for (const QString clicked : {"XTerm", "VMViewer"}) {
            pick->click();
            QVERIFY(!pick->isEnabled());
            m_platform.windowClass = {clicked.toLower(), clicked};
            QTRY_VERIFY(pick->isEnabled());
            m_platform.windowClass = {"keyquill", "Keyquill"};
        }
        QCOMPARE(table->rowCount(), 6);
        QCOMPARE(table->item(5, 0)->text(), "XTerm");
        QCOMPARE(qobject_cast<QComboBox *>(table->cellWidget(5, 1))->currentText(), "Shift+Insert");
        QCOMPARE(table->currentRow(), 1); // vmviewer
        others->setCurrentIndex(others->findText("Ctrl+V"));
        for (const auto &[typed, stroke] :
             {std::pair("kitty", "Ctrl+Shift+V"), std::pair("someeditor", "Ctrl+V")}) {
            dialog.findChild<QPushButton *>("btnAddPasteKey")->click();
            table->item(table->rowCount() - 1, 0)->setText(typed);
            QCOMPARE(qobject_cast<QComboBox *>(table->cellWidget(table->rowCount() - 1, 1))
                         ->currentText(),
                     stroke);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
