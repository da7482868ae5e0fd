// What a fired hot key puts on the clipboard, and when, without an X server: the note lookup
// and the order of queued presses.
#include "hotkeys/globalshortcut.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "support/testenv.h"
#include "widgets/checktreewidget.h"

#include <memory>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QSettings>
#include <QTest>

namespace {

const int CtrlAltA = MacroStore::CtrlBit | MacroStore::AltBit | Qt::Key_A;
const int CtrlAltB = MacroStore::CtrlBit | MacroStore::AltBit | Qt::Key_B;
const int CtrlAltC = MacroStore::CtrlBit | MacroStore::AltBit | Qt::Key_C;
const QString Untouched = QStringLiteral("<untouched>");

QString clipboardText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

} // namespace

class TestShortcutActivated final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void lookup_data();
    void lookup();
    void ignoresWhatIsNotAHotKey();
    void nothingCheckedDeliversNothing();
    void queuedPressWaitsForTheEarlierPaste();

private:
    void tick(const QString &master);
    GlobalShortcut *shortcutFor(int code) const;

    TestEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;
    CheckTreeWidget *m_tree = nullptr;
};

void TestShortcutActivated::init()
{
    TestEnvironment::clearStore();
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("a first"), CtrlAltA,
                               QStringLiteral("first\nof two"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("b second"), CtrlAltA,
                               QStringLiteral("second of two"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("c other"), CtrlAltB,
                               QStringLiteral("other"));
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("beta"), CtrlAltC,
                               QStringLiteral("from Beta"));
    {
        // A note whose text key is missing.
        QSettings store;
        store.setValue(QStringLiteral("MasterMacros/Alpha/Macros/d textless/shortcut"), CtrlAltC);
    }
    m_window = std::make_unique<MainWindow>();
    m_tree = m_window->findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
    QVERIFY(m_tree);
    QGuiApplication::clipboard()->setText(Untouched);
}

void TestShortcutActivated::cleanup()
{
    m_window.reset();
}

void TestShortcutActivated::tick(const QString &master)
{
    m_tree->findItems(master, Qt::MatchFixedString, 0).first()->setCheckState(0, Qt::Checked);
}

GlobalShortcut *TestShortcutActivated::shortcutFor(int code) const
{
    // The last object with the code, so a match on the first note is not a matter of which
    // object fired.
    GlobalShortcut *found = nullptr;
    const QList<GlobalShortcut *> shortcuts = m_tree->findChildren<GlobalShortcut *>();
    for (GlobalShortcut *shortcut : shortcuts) {
        if (shortcut->shortcut() == QKeySequence(code))
            found = shortcut;
    }
    return found;
}

void TestShortcutActivated::lookup_data()
{
    QTest::addColumn<QString>("master");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("editAfterRebuild"); // "c other" saved as Ctrl+Alt+B "edited"
    QTest::addColumn<bool>("moveAfterRebuild"); // "c other" saved as Ctrl+Alt+C
    QTest::addColumn<QString>("clipboard");

    QTest::newRow("first of two with one code")
        << "Alpha" << CtrlAltA << false << false << QStringLiteral("first\nof two");
    QTest::newRow("text saved since the rebuild")
        << "Alpha" << CtrlAltB << true << false << QStringLiteral("edited");
    QTest::newRow("code changed since the rebuild")
        << "Alpha" << CtrlAltB << false << true << Untouched;
    QTest::newRow("text key missing") << "Alpha" << CtrlAltC << false << false << QString();
    QTest::newRow("only the checked master macro")
        << "Beta" << CtrlAltC << false << false << QStringLiteral("from Beta");
}

void TestShortcutActivated::lookup()
{
    QFETCH(QString, master);
    QFETCH(int, code);
    QFETCH(bool, editAfterRebuild);
    QFETCH(bool, moveAfterRebuild);
    QFETCH(QString, clipboard);

    tick(master);
    GlobalShortcut *shortcut = shortcutFor(code);
    QVERIFY(shortcut);
    if (editAfterRebuild || moveAfterRebuild)
        TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("c other"),
                                   moveAfterRebuild ? CtrlAltC : CtrlAltB,
                                   QStringLiteral("edited"));
    // The clipboard is written at once; only the paste waits.
    Q_EMIT shortcut->activated();
    QCOMPARE(clipboardText(), clipboard);
}

void TestShortcutActivated::ignoresWhatIsNotAHotKey()
{
    tick(QStringLiteral("Alpha"));
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "shortcutActivated"));
    QCOMPARE(clipboardText(), Untouched);
}

void TestShortcutActivated::nothingCheckedDeliversNothing()
{
    GlobalShortcut stray{QKeySequence(CtrlAltA)};
    QVERIFY(connect(&stray, SIGNAL(activated()), m_window.get(), SLOT(shortcutActivated())));
    Q_EMIT stray.activated();
    QCOMPARE(clipboardText(), Untouched);
}

void TestShortcutActivated::queuedPressWaitsForTheEarlierPaste()
{
    tick(QStringLiteral("Alpha"));
    GlobalShortcut *first = shortcutFor(CtrlAltB);
    GlobalShortcut *second = shortcutFor(CtrlAltA);
    QElapsedTimer clock;
    clock.start();
    Q_EMIT first->activated();
    Q_EMIT second->activated();
    // The second press leaves the clipboard alone through the first one's whole wait.
    QCOMPARE(clipboardText(), QStringLiteral("other"));
    QTest::qWait(950);
    QCOMPARE(clipboardText(), QStringLiteral("other"));
    QTRY_COMPARE_WITH_TIMEOUT(clipboardText(), QStringLiteral("first\nof two"), 5000);
    QVERIFY2(clock.elapsed() >= 1000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(TestShortcutActivated)
#include "tst_shortcutactivated.moc"
