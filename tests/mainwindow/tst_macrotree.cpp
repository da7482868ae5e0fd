// The macro tree: loading from the store, the in-use check box, and the live hot-key set that
// follows it.
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "support/storeprobe.h"
#include "support/testenv.h"
#include "widgets/checktreewidget.h"

#include <memory>
#include <QApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

const int CtrlAlt = MacroStore::CtrlBit | MacroStore::AltBit;

} // namespace

class TestMacroTree final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void loadsEveryMasterMacroUncheckedAndExpanded();
    void shortcutColumn_data();
    void shortcutColumn();
    void liveHotKeysFollowTheCheckedMasterMacro();
    void noteRowHasNoCheckBox();

private:
    void openWindow();
    QTreeWidgetItem *master(const QString &name) const;
    QList<int> liveCodes() const;

    TestEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;
};

void TestMacroTree::init()
{
    TestEnvironment::clearStore();
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("hello"),
                               CtrlAlt | Qt::Key_A, QStringLiteral("Hello"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("bye"),
                               MacroStore::CtrlBit | MacroStore::ShiftBit | Qt::Key_F1,
                               QStringLiteral("Bye"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("plain"), 0,
                               QStringLiteral("no hot key"));
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("one"), CtrlAlt | Qt::Key_1,
                               QStringLiteral("1"));
    TestEnvironment::writeMasterMacro(QStringLiteral("Empty"));
}

void TestMacroTree::cleanup()
{
    m_window.reset();
    m_tree = nullptr;
}

void TestMacroTree::openWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_tree = m_window->findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
    QVERIFY(m_tree);
}

QTreeWidgetItem *TestMacroTree::master(const QString &name) const
{
    const QList<QTreeWidgetItem *> found = m_tree->findItems(name, Qt::MatchFixedString, 0);
    return found.size() == 1 ? found.first() : nullptr;
}

QList<int> TestMacroTree::liveCodes() const
{
    return StoreProbe::liveCodes(m_tree);
}

void TestMacroTree::loadsEveryMasterMacroUncheckedAndExpanded()
{
    openWindow();
    QCOMPARE(m_tree->topLevelItemCount(), 3);
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_tree->topLevelItem(i);
        QCOMPARE(item->data(0, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QCOMPARE(item->toolTip(0), item->text(0));
        QVERIFY(item->text(1).isEmpty());
        QVERIFY2(item->childCount() == 0 || item->isExpanded(), qPrintable(item->text(0)));
    }
    QCOMPARE(master(QStringLiteral("Alpha"))->childCount(), 3);
    QCOMPARE(master(QStringLiteral("Beta"))->childCount(), 1);
    // Holds only its description, no Macros group.
    QCOMPARE(master(QStringLiteral("Empty"))->childCount(), 0);
    QVERIFY(liveCodes().isEmpty());
}

void TestMacroTree::shortcutColumn_data()
{
    QTest::addColumn<QVariant>("stored"); // invalid: no shortcut key at all
    QTest::addColumn<QString>("text");

    QTest::newRow("Ctrl+Alt+A") << QVariant(CtrlAlt | Qt::Key_A) << QStringLiteral("Ctrl+Alt+A");
    QTest::newRow("Ctrl+Shift+F1")
        << QVariant(MacroStore::CtrlBit | MacroStore::ShiftBit | Qt::Key_F1)
        << QStringLiteral("Ctrl+Shift+F1");
    QTest::newRow("missing") << QVariant() << QString();
    QTest::newRow("empty, never saved") << QVariant(QString()) << QString();
    QTest::newRow("not a number") << QVariant(QStringLiteral("Ctrl+Q")) << QString();
    QTest::newRow("zero") << QVariant(0) << QString();
}

void TestMacroTree::shortcutColumn()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, text);
    TestEnvironment::clearStore();
    {
        QSettings store;
        store.beginGroup(QStringLiteral("MasterMacros/Gamma/Macros/note"));
        store.setValue(MacroStore::TextKey, QStringLiteral("text"));
        if (stored.isValid())
            store.setValue(MacroStore::ShortcutKey, stored);
    }
    openWindow();
    QTreeWidgetItem *gamma = master(QStringLiteral("Gamma"));
    QVERIFY(gamma);
    QCOMPARE(gamma->childCount(), 1);
    QTreeWidgetItem *note = gamma->child(0);
    QCOMPARE(note->text(0), QStringLiteral("note"));
    QCOMPARE(note->toolTip(0), QStringLiteral("note"));
    QCOMPARE(note->text(1), text);
    QCOMPARE(note->toolTip(1), text);
}

void TestMacroTree::liveHotKeysFollowTheCheckedMasterMacro()
{
    openWindow();
    // The note without a hot key gets an object too.
    const QList<int> alphaCodes{0, MacroStore::CtrlBit | MacroStore::ShiftBit | Qt::Key_F1,
                                CtrlAlt | Qt::Key_A};
    const QList<int> betaCodes{CtrlAlt | Qt::Key_1};

    struct Step
    {
        const char *master;
        Qt::CheckState state;
        QList<int> expected;
    };
    const Step steps[] = {
        {"Alpha", Qt::Checked, alphaCodes},
        // Registered after the walk that unchecks Alpha, whose nested run clears everything.
        {"Beta", Qt::Checked, betaCodes},
        {"Beta", Qt::Unchecked, {}},
        {"Alpha", Qt::Checked, alphaCodes},
        {"Empty", Qt::Checked, {}},
        {"Beta", Qt::Checked, betaCodes},
        {"Alpha", Qt::Checked, alphaCodes},
        {"Alpha", Qt::Unchecked, {}},
    };
    for (const Step &step : steps) {
        master(QString::fromLatin1(step.master))->setCheckState(0, step.state);
        QCOMPARE(liveCodes(), step.expected);
        int checked = 0;
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            checked += m_tree->topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
        QCOMPARE(checked, step.state == Qt::Checked ? 1 : 0);
        if (step.state == Qt::Checked)
            QCOMPARE(master(QString::fromLatin1(step.master))->checkState(0), Qt::Checked);
    }
}

void TestMacroTree::noteRowHasNoCheckBox()
{
    openWindow();
    QTreeWidgetItem *alpha = master(QStringLiteral("Alpha"));
    QTreeWidgetItem *note = alpha->child(0);
    QVERIFY(!note->data(0, Qt::CheckStateRole).isValid());
    QVERIFY(!note->data(1, Qt::CheckStateRole).isValid());

    // The space bar toggles the check box of the current row: nothing on a note row, while the
    // same key on a master macro row does tick it.
    QSignalSpy spy(m_tree, &CheckTreeWidget::itemCheckStateChanged);
    m_tree->setCurrentItem(note);
    QTest::keyClick(m_tree->viewport(), Qt::Key_Space);
    QVERIFY(!note->data(0, Qt::CheckStateRole).isValid());
    QCOMPARE(spy.count(), 0);
    QVERIFY(liveCodes().isEmpty());

    m_tree->setCurrentItem(alpha);
    QTest::keyClick(m_tree->viewport(), Qt::Key_Space);
    QCOMPARE(alpha->checkState(0), Qt::Checked);
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestMacroTree)
#include "tst_macrotree.moc"
