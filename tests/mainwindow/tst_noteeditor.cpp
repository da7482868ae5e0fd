#include "support/filesizelimit.h"
#include "support/modalanswerer.h"
#include "support/storeprobe.h"
#include "support/testenv.h"

#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "widgets/checktreewidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>

#include <memory>

struct MainWindowTester
{
    static bool updateMacro(MainWindow &w) { return w.updateMacro(); }
    static QIcon inUseIcon(MainWindow &w) { return w.m_inUseIcon; }
};

namespace {

constexpr int CtrlAltA = MacroStore::CtrlBit + MacroStore::AltBit + Qt::Key_A;

} // namespace

class TestNoteEditor : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;

    template <typename T> T *widget(const char *name)
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QTreeWidget *tree() { return widget<QTreeWidget>("treeMacros"); }
    QCheckBox *ctrl() { return widget<QCheckBox>("shortcutCtrl"); }
    QCheckBox *alt() { return widget<QCheckBox>("shortcutAlt"); }
    QCheckBox *shift() { return widget<QCheckBox>("shortcutShift"); }
    QComboBox *keys() { return widget<QComboBox>("shortcutKey"); }
    QTextEdit *text() { return widget<QTextEdit>("macro"); }
    QPushButton *update() { return widget<QPushButton>("btnUpdate"); }
    QPushButton *revert() { return widget<QPushButton>("btnRevert"); }

    void openWindow() { m_window = std::make_unique<MainWindow>(); }
    QTreeWidgetItem *item(const QString &master, const QString &note = QString())
    {
        return StoreProbe::item(tree(), master, note);
    }
    void select(const QString &master, const QString &note = QString())
    {
        QVERIFY(StoreProbe::select(tree(), master, note));
    }
    void chooseKey(int key) { keys()->setCurrentIndex(keys()->findData(key, Qt::UserRole)); }
    void setModifiers(bool withCtrl, bool withAlt, bool withShift)
    {
        // As the user does it: by clicks, which is what makes the editor dirty.
        if (ctrl()->isChecked() != withCtrl)
            ctrl()->click();
        if (alt()->isChecked() != withAlt)
            alt()->click();
        if (shift()->isChecked() != withShift)
            shift()->click();
    }
    bool isDirty()
    {
        const bool dirty = update()->isEnabled();
        const bool locked = !tree()->isEnabled() && !m_window->menuBar()->isEnabled() &&
                            !widget<QToolBar>("mainToolBar")->isEnabled();
        const bool unlocked = tree()->isEnabled() && m_window->menuBar()->isEnabled() &&
                              widget<QToolBar>("mainToolBar")->isEnabled();
        if (dirty != revert()->isEnabled() || (dirty ? !locked : !unlocked))
            qWarning("editor state is mixed");
        return dirty && locked;
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Greeting"), CtrlAltA,
                                   QStringLiteral("Hello"));
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Bye"),
                                   MacroStore::CtrlBit + Qt::Key_B, QStringLiteral("Bye now"));
        TestEnvironment::writeNote(QStringLiteral("Home"), QStringLiteral("Address"), 0,
                                   QStringLiteral("1 Main St"));
        openWindow();
    }
    void cleanup() { m_window.reset(); }

    void selectingANoteDecodesItsHotKeyAndLeavesTheEditorClean()
    {
        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        QVERIFY(ctrl()->isChecked());
        QVERIFY(alt()->isChecked());
        QVERIFY(!shift()->isChecked());
        QCOMPARE(keys()->currentData(Qt::UserRole).toInt(), int(Qt::Key_A));
        QCOMPARE(text()->toPlainText(), QStringLiteral("Hello"));
        QVERIFY(text()->isEnabled());
        QVERIFY(!update()->isEnabled());
        QVERIFY(!revert()->isEnabled());
        QVERIFY(tree()->isEnabled());
    }

    void aStoredKeyOutsideTheListShowsNoEntry()
    {
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Odd"),
                                   MacroStore::ShiftBit + Qt::Key_Escape, QString());
        openWindow();
        select(QStringLiteral("Work"), QStringLiteral("Odd"));
        QCOMPARE(keys()->currentIndex(), -1);
        QVERIFY(shift()->isChecked());
        QVERIFY(!isDirty());
    }

    void arrowKeysWalkTheTreeWithoutLeavingIt()
    {
        // Loading a note is no edit: the tree keeps the focus, so the arrow keys go on walking it.
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        tree()->setFocus();
        select(QStringLiteral("Home"));
        QTRY_COMPARE(QApplication::focusWidget(), tree());
        QTest::keyClick(tree(), Qt::Key_Down);
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("Home"), QStringLiteral("Address")));
        QTest::keyClick(tree(), Qt::Key_Down);
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("Work")));
        QTest::keyClick(tree(), Qt::Key_Down);
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("Work"), QStringLiteral("Bye")));
        QCOMPARE(QApplication::focusWidget(), tree());
        QCOMPARE(text()->toPlainText(), QStringLiteral("Bye now"));
        QVERIFY(!isDirty());
    }

    void oneTypedCharacterMakesTheEditorDirty()
    {
        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        QVERIFY(!isDirty());
        text()->moveCursor(QTextCursor::End);
        QTest::keyClick(text(), Qt::Key_X);
        QVERIFY(isDirty());
    }

    void cancelRestoresTheStoredNote()
    {
        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        text()->setPlainText(QStringLiteral("changed"));
        setModifiers(false, false, true);
        chooseKey(Qt::Key_F5);
        QVERIFY(isDirty());
        revert()->click();
        QCOMPARE(text()->toPlainText(), QStringLiteral("Hello"));
        QVERIFY(ctrl()->isChecked() && alt()->isChecked() && !shift()->isChecked());
        QCOMPARE(keys()->currentData(Qt::UserRole).toInt(), int(Qt::Key_A));
        QVERIFY(!isDirty());
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Greeting")),
                 QStringLiteral("Hello"));
    }

    void aHotKeyOfAnotherNoteIsRefusedAndNothingIsWritten()
    {
        select(QStringLiteral("Work"), QStringLiteral("Bye"));
        text()->setPlainText(QStringLiteral("edited"));
        setModifiers(true, true, false);
        chooseKey(Qt::Key_A);
        ModalAnswerer dialogs;
        dialogs.ok();
        QVERIFY(!MainWindowTester::updateMacro(*m_window));
        QCOMPARE(dialogs.seen().size(), 1);
        QCOMPARE(dialogs.seen().first().title, QStringLiteral("Keyquill"));
        QCOMPARE(dialogs.seen().first().text,
                 QStringLiteral("Shortcut already assigned to another Note in this Master Macro"));
        QCOMPARE(StoreProbe::code(QStringLiteral("Work"), QStringLiteral("Bye")),
                 MacroStore::CtrlBit + Qt::Key_B);
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Bye")),
                 QStringLiteral("Bye now"));
        QVERIFY(isDirty());
        QCOMPARE(text()->toPlainText(), QStringLiteral("edited"));
    }

    void acceptedHotKeys_data()
    {
        QTest::addColumn<QString>("master");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("code");
        QTest::newRow("same key in another master macro") << "Home"
                                                          << "Address" << CtrlAltA;
        QTest::newRow("note keeps its own key") << "Work"
                                                << "Greeting" << CtrlAltA;
        QTest::newRow("two notes without a key") << "Home"
                                                 << "Address" << 0;
    }
    void acceptedHotKeys()
    {
        QFETCH(QString, master);
        QFETCH(QString, note);
        QFETCH(int, code);
        TestEnvironment::writeNote(QStringLiteral("Home"), QStringLiteral("Phone"), 0,
                                   QStringLiteral("555"));
        openWindow();
        select(master, note);
        setModifiers(MacroStore::hasCtrl(code), MacroStore::hasAlt(code),
                     MacroStore::hasShift(code));
        if (code == 0)
            keys()->setCurrentIndex(-1);
        else
            chooseKey(MacroStore::keyPart(code));
        text()->setPlainText(QStringLiteral("saved text"));
        ModalAnswerer dialogs;
        QVERIFY(MainWindowTester::updateMacro(*m_window));
        QVERIFY(dialogs.seen().isEmpty());
        QCOMPARE(StoreProbe::code(master, note), code);
        QCOMPARE(StoreProbe::text(master, note), QStringLiteral("saved text"));
        QCOMPARE(item(master, note)->text(1), MacroStore::codeText(code));
        QVERIFY(!isDirty());
    }

    void inUseMarksFollowTheModifierBoxes()
    {
        select(QStringLiteral("Work"), QStringLiteral("Bye"));
        const qint64 inUse = MainWindowTester::inUseIcon(*m_window).cacheKey();
        auto marked = [&] {
            QList<int> result;
            for (int i = 0; i < keys()->count(); ++i) {
                // With Ctrl and Alt the function keys carry the console mark instead.
                if (keys()->itemIcon(i).cacheKey() == inUse)
                    result.append(keys()->itemData(i, Qt::UserRole).toInt());
            }
            return result;
        };
        // Bye itself holds Ctrl+B, which must not count against it.
        setModifiers(true, false, false);
        QCOMPARE(marked(), QList<int>{});
        setModifiers(true, true, false);
        QCOMPARE(marked(), QList<int>{Qt::Key_A});
        setModifiers(false, true, false);
        QCOMPARE(marked(), QList<int>{});

        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        setModifiers(true, false, false);
        QCOMPARE(marked(), QList<int>{Qt::Key_B});
    }

    void savingANoteOfTheTickedMasterMacroRebuildsItsHotKeys()
    {
        item(QStringLiteral("Work"))->setCheckState(0, Qt::Checked);
        QCOMPARE(StoreProbe::liveCodes(tree()),
                 (QList<int>{MacroStore::CtrlBit + Qt::Key_B, CtrlAltA}));

        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        setModifiers(false, false, true);
        chooseKey(Qt::Key_F2);
        QVERIFY(MainWindowTester::updateMacro(*m_window));
        QCOMPARE(StoreProbe::liveCodes(tree()),
                 (QList<int>{MacroStore::ShiftBit + Qt::Key_F2, MacroStore::CtrlBit + Qt::Key_B}));
        QCOMPARE(item(QStringLiteral("Work"), QStringLiteral("Greeting"))->text(1),
                 MacroStore::codeText(MacroStore::ShiftBit + Qt::Key_F2));

        // A master macro that is not ticked changes no registration.
        const QList<int> before = StoreProbe::liveCodes(tree());
        select(QStringLiteral("Home"), QStringLiteral("Address"));
        setModifiers(true, false, false);
        chooseKey(Qt::Key_9);
        QVERIFY(MainWindowTester::updateMacro(*m_window));
        QCOMPARE(StoreProbe::liveCodes(tree()), before);
    }

    void aMasterMacroClearsAndDisablesTheInputs()
    {
        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        select(QStringLiteral("Work"));
        QVERIFY(!ctrl()->isChecked() && !alt()->isChecked() && !shift()->isChecked());
        QVERIFY(!ctrl()->isEnabled() && !alt()->isEnabled() && !shift()->isEnabled());
        QCOMPARE(keys()->currentIndex(), -1);
        QVERIFY(!keys()->isEnabled());
        QVERIFY(text()->toPlainText().isEmpty());
        QVERIFY(!text()->isEnabled());
        QVERIFY(!isDirty());
        // Saving with a master macro current does nothing.
        QVERIFY(MainWindowTester::updateMacro(*m_window));
    }

    void textThatLooksLikeMarkupKeepsEveryCharacter_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("bold tag") << QStringLiteral("<b>Dear Sir</b>");
        QTest::newRow("html with lines")
            << QStringLiteral("<html><body>\n<p>Hi &amp; bye</p>\n</body></html>");
        QTest::newRow("entity") << QStringLiteral("&lt;kept&gt;  two  spaces");
    }
    void textThatLooksLikeMarkupKeepsEveryCharacter()
    {
        QFETCH(QString, stored);
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Letter"), 0, stored);
        openWindow();
        select(QStringLiteral("Work"), QStringLiteral("Letter"));
        QCOMPARE(text()->toPlainText(), stored);
        QVERIFY(!isDirty());
        // One edit anywhere, then saved: the rest comes back exactly.
        text()->moveCursor(QTextCursor::End);
        QTest::keyClick(text(), Qt::Key_Period);
        QVERIFY(MainWindowTester::updateMacro(*m_window));
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Letter")),
                 stored + QLatin1Char('.'));
    }

    void aSaveTheDiskRefusesKeepsTheEditsAndTheFile()
    {
        // Large enough that the rewritten store cannot fit under the limit below.
        const QString longText(6000, QLatin1Char('x'));
        TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Long"), 0, longText);
        openWindow();
        const QString fileName = QSettings().fileName();
        const QByteArray before = TestEnvironment::fileBytes(fileName);
        QVERIFY(before.size() > 6000);

        select(QStringLiteral("Work"), QStringLiteral("Greeting"));
        text()->setPlainText(QStringLiteral("unsaved words"));
        ModalAnswerer dialogs;
        dialogs.ok();
        {
            FileSizeLimit limit(4096);
            QVERIFY(limit.isActive());
            QVERIFY(!MainWindowTester::updateMacro(*m_window));
        }
        QCOMPARE(dialogs.seen().size(), 1);
        QCOMPARE(dialogs.seen().first().title, QStringLiteral("Keyquill"));
        QVERIFY2(dialogs.seen().first().text.contains(QStringLiteral("\"Greeting\" was not saved")),
                 qPrintable(dialogs.seen().first().text));
        QVERIFY(dialogs.seen().first().text.contains(fileName));

        QCOMPARE(TestEnvironment::fileBytes(fileName), before);
        QVERIFY(isDirty());
        QCOMPARE(text()->toPlainText(), QStringLiteral("unsaved words"));
        // The store reads as on disk, so Cancel brings back the saved text.
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Greeting")),
                 QStringLiteral("Hello"));
        revert()->click();
        QCOMPARE(text()->toPlainText(), QStringLiteral("Hello"));

        // Once the disk takes it again, the same save goes through.
        text()->setPlainText(QStringLiteral("unsaved words"));
        QVERIFY(MainWindowTester::updateMacro(*m_window));
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Greeting")),
                 QStringLiteral("unsaved words"));
        QCOMPARE(StoreProbe::text(QStringLiteral("Work"), QStringLiteral("Long")), longText);
    }
};

QTEST_MAIN(TestNoteEditor)
#include "tst_noteeditor.moc"
