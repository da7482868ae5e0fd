// End to end on a real X server: edits made through the window (saving a note, deleting,
// renaming) while its master macro is ticked change which combinations paste, as seen from
// another application, and which ones the program still holds.
#include "support/modalanswerer.h"
#include "support/storeprobe.h"
#include "support/testenv.h"
#include "textfield.h"
#include "xclient.h"

#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

#include <X11/keysym.h>

namespace {

struct Combination
{
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    char key = 'A'; // a letter of the key list

    int code() const
    {
        return (ctrl ? int(Qt::CTRL) : 0) | (alt ? int(Qt::ALT) : 0) |
               (shift ? int(Qt::SHIFT) : 0) | key;
    }
    unsigned long keysym() const { return XK_a + static_cast<unsigned long>(key - 'A'); }
    QList<unsigned long> modifiers() const
    {
        QList<unsigned long> keys;
        if (ctrl)
            keys.append(XK_Control_L);
        if (alt)
            keys.append(XK_Alt_L);
        if (shift)
            keys.append(XK_Shift_L);
        return keys;
    }
};

const Combination GreetingKey{true, true, false, 'A'};
const Combination SignKey{true, true, false, 'S'};
const Combination DateKey{true, false, true, 'D'};

const QString Greeting = QStringLiteral("Dear reader,");
const QString Regards = QStringLiteral("Regards");
const QString Date = QStringLiteral("6 December");

} // namespace

class TestHotKeyEdits final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void savingANoteMovesItsHotKey_data();
    void savingANoteMovesItsHotKey();
    void deletingANoteReleasesOnlyItsKey();
    void deletingTheMasterMacroReleasesEveryKey();
    void renamingKeepsTheHotKeysWorking_data();
    void renamingKeepsTheHotKeysWorking();

private:
    template <typename T> T *widget(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QTreeWidgetItem *item(const QString &master, const QString &note = QString()) const;
    void select(const QString &master, const QString &note = QString());
    // Runs an entry of the tree's context menu (the Edit menu holds the same actions).
    void runCommand(const QString &text, ModalAnswerer &dialogs);
    void press(const QList<Combination> &combinations);
    // Whether the program holds the combination: then no other client can grab it.
    bool isHeld(const Combination &combination);

    TestEnvironment m_env;
    XClient m_keyboard;
    TextField m_field;
    std::unique_ptr<MainWindow> m_window;
};

void TestHotKeyEdits::initTestCase()
{
    QVERIFY2(m_keyboard.isOpen(), "no X server");
    QVERIFY(m_field.start());
    QTRY_VERIFY_WITH_TIMEOUT(m_field.isReady(), 10000);
}

void TestHotKeyEdits::init()
{
    TestEnvironment::clearStore();
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("greeting"),
                               GreetingKey.code(), Greeting);
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("sign"), SignKey.code(),
                               Regards);
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("date"), DateKey.code(),
                               Date);
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("other"),
                               Combination{true, true, false, 'B'}.code(), QStringLiteral("B"));
    m_window = std::make_unique<MainWindow>();
    item(QStringLiteral("Alpha"))->setCheckState(0, Qt::Checked);
    QVERIFY(isHeld(GreetingKey) && isHeld(SignKey) && isHeld(DateKey));

    m_field.clear();
    QTRY_COMPARE(m_field.text(), QString());
}

void TestHotKeyEdits::cleanup()
{
    m_window.reset();
}

QTreeWidgetItem *TestHotKeyEdits::item(const QString &master, const QString &note) const
{
    return StoreProbe::item(widget<QTreeWidget>("treeMacros"), master, note);
}

void TestHotKeyEdits::select(const QString &master, const QString &note)
{
    QTreeWidgetItem *target = item(master, note);
    QVERIFY(target);
    widget<QTreeWidget>("treeMacros")->setCurrentItem(target);
}

void TestHotKeyEdits::runCommand(const QString &text, ModalAnswerer &dialogs)
{
    const auto actions = widget<QTreeWidget>("treeMacros")->actions();
    const auto it = std::find_if(actions.cbegin(), actions.cend(),
                                 [&text](const QAction *action) { return action->text() == text; });
    QVERIFY2(it != actions.cend(), qPrintable(text));
    (*it)->trigger();
    QVERIFY2(dialogs.done(), "a dialog the test expected did not open");
}

void TestHotKeyEdits::press(const QList<Combination> &combinations)
{
    for (const Combination &combination : combinations)
        m_keyboard.press(combination.modifiers(), combination.keysym());
}

bool TestHotKeyEdits::isHeld(const Combination &combination)
{
    unsigned mask = 0;
    const QList<unsigned long> modifiers = combination.modifiers();
    for (unsigned long modifier : modifiers)
        mask |= m_keyboard.modifierMask(modifier);
    const unsigned keycode = m_keyboard.keycode(combination.keysym());
    if (!m_keyboard.grab(keycode, mask))
        return true;
    m_keyboard.ungrab(keycode, mask);
    return false;
}

void TestHotKeyEdits::savingANoteMovesItsHotKey_data()
{
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("alt");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QString>("key");
    QTest::newRow("another key") << true << true << false << QStringLiteral("G");
    QTest::newRow("other modifiers, same key") << true << false << true << QStringLiteral("A");
}

void TestHotKeyEdits::savingANoteMovesItsHotKey()
{
    QFETCH(bool, ctrl);
    QFETCH(bool, alt);
    QFETCH(bool, shift);
    QFETCH(QString, key);
    const Combination moved{ctrl, alt, shift, key.at(0).toLatin1()};
    const QString newText = QStringLiteral("Yours truly");

    // As the user does it: the boxes by clicks, a key from the list, the text typed over.
    select(QStringLiteral("Alpha"), QStringLiteral("greeting"));
    const std::pair<const char *, bool> boxes[] = {
        {"shortcutCtrl", ctrl}, {"shortcutAlt", alt}, {"shortcutShift", shift}};
    for (const auto &[name, checked] : boxes) {
        if (widget<QCheckBox>(name)->isChecked() != checked)
            widget<QCheckBox>(name)->click();
    }
    auto *keys = widget<QComboBox>("shortcutKey");
    QVERIFY(keys->findText(key) >= 0);
    keys->setCurrentIndex(keys->findText(key));
    auto *text = widget<QTextEdit>("macro");
    text->selectAll();
    QTest::keyClicks(text, newText);
    ModalAnswerer dialogs; // a refusal would be a box; none is expected
    widget<QPushButton>("btnUpdate")->click();
    QCOMPARE(dialogs.seen().size(), 0);
    QVERIFY(!widget<QPushButton>("btnUpdate")->isEnabled());

    QVERIFY(isHeld(moved));
    QTRY_VERIFY(!isHeld(GreetingKey));
    QVERIFY(isHeld(SignKey) && isHeld(DateKey));

    // Pastes come in press order: a paste from the old combination would come first.
    press({GreetingKey, moved, SignKey});
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), newText + Regards, 8000);
}

void TestHotKeyEdits::deletingANoteReleasesOnlyItsKey()
{
    select(QStringLiteral("Alpha"), QStringLiteral("greeting"));
    ModalAnswerer dialogs;
    dialogs.ok();
    runCommand(QStringLiteral("Delete"), dialogs);
    QVERIFY(!item(QStringLiteral("Alpha"), QStringLiteral("greeting")));

    QTRY_VERIFY(!isHeld(GreetingKey));
    QVERIFY(isHeld(SignKey) && isHeld(DateKey));
    press({GreetingKey, SignKey, DateKey});
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Regards + Date, 8000);
}

void TestHotKeyEdits::deletingTheMasterMacroReleasesEveryKey()
{
    select(QStringLiteral("Alpha"));
    ModalAnswerer dialogs;
    dialogs.ok();
    runCommand(QStringLiteral("Delete"), dialogs);
    QVERIFY(!item(QStringLiteral("Alpha")));

    QTRY_VERIFY(!isHeld(GreetingKey) && !isHeld(SignKey) && !isHeld(DateKey));
    // No key is left to show the order, so give a paste its second and more to arrive.
    press({GreetingKey, SignKey, DateKey});
    QTest::qWait(2500);
    QCOMPARE(m_field.text(), QString());
}

void TestHotKeyEdits::renamingKeepsTheHotKeysWorking_data()
{
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("renamed");
    QTest::newRow("note") << QStringLiteral("greeting") << QStringLiteral("hello")
                          << QStringLiteral("Alpha/hello");
    QTest::newRow("master macro") << QString() << QStringLiteral("Gamma")
                                  << QStringLiteral("Gamma");
}

void TestHotKeyEdits::renamingKeepsTheHotKeysWorking()
{
    QFETCH(QString, note);
    QFETCH(QString, newName);
    QFETCH(QString, renamed);
    select(QStringLiteral("Alpha"), note);
    ModalAnswerer dialogs;
    dialogs.type(newName);
    runCommand(QStringLiteral("Rename"), dialogs);
    const QStringList path = renamed.split(QLatin1Char('/'));
    QVERIFY(item(path.first(), path.value(1)));
    QCOMPARE(item(path.first())->checkState(0), Qt::Checked);

    QVERIFY(isHeld(GreetingKey) && isHeld(SignKey) && isHeld(DateKey));
    press({GreetingKey, SignKey});
    QTRY_COMPARE_WITH_TIMEOUT(m_field.text(), Greeting + Regards, 8000);
}

QTEST_MAIN(TestHotKeyEdits)
#include "tst_hotkeyedits.moc"
