// GlobalShortcut on a real X server: grabs, lock variants, foreign grabs, shared combinations
// and keyboard mapping changes.
#include "hotkeys/globalshortcut.h"
#include "support/testenv.h"
#include "xclient.h"

#include <memory>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <X11/keysym.h>
#include <X11/X.h>

namespace {

const QList<unsigned long> CtrlAlt{XK_Control_L, XK_Alt_L};
// Ctrl+Alt+F<n> is the server's own console switch and never reaches a client.
const QList<unsigned long> CtrlShift{XK_Control_L, XK_Shift_L};

QKeySequence ctrlAlt(Qt::Key key)
{
    return QKeySequence(Qt::CTRL | Qt::ALT | key);
}

} // namespace

class TestGlobalShortcut final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void grabsAndReleases();
    void firesWithLocks_data();
    void firesWithLocks();
    void numLockMaskComesFromServer();
    void foreignGrabIsNotRegistered();
    void sharedCombinationFiresOnceAndLastReleases();
    void followsMappingChange();
    void emptyAndUnknownKeysDoNotRegister();

private:
    // Presses a key no one else uses and waits until its own object fired, so every press made
    // before it has been handled too.
    void flushPresses();
    void setLock(unsigned long keysym, bool on);

    TestEnvironment m_env;
    XClient m_keyboard; // presses keys
    XClient m_other;    // holds grabs of its own
    unsigned m_altMask = Mod1Mask;
};

void TestGlobalShortcut::initTestCase()
{
    QVERIFY2(m_keyboard.isOpen() && m_other.isOpen(), "no X server");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_altMask = m_keyboard.modifierMask(XK_Alt_L);
    QVERIFY(m_altMask != 0);
}

void TestGlobalShortcut::cleanup()
{
    setLock(XK_Num_Lock, false);
    setLock(XK_Caps_Lock, false);
}

void TestGlobalShortcut::setLock(unsigned long keysym, bool on)
{
    const unsigned mask = m_keyboard.modifierMask(keysym);
    if (mask == 0 || ((m_keyboard.state() & mask) != 0) == on)
        return;
    m_keyboard.tap(keysym);
    QTRY_COMPARE((m_keyboard.state() & mask) != 0, on);
}

void TestGlobalShortcut::flushPresses()
{
    GlobalShortcut marker(ctrlAlt(Qt::Key_Z));
    QVERIFY(marker.isRegistered());
    QSignalSpy spy(&marker, &GlobalShortcut::activated);
    m_keyboard.press(CtrlAlt, XK_z);
    QTRY_COMPARE(spy.count(), 1);
}

void TestGlobalShortcut::grabsAndReleases()
{
    const unsigned f5 = m_keyboard.keycode(XK_F5);
    const QKeySequence sequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5);
    auto shortcut = std::make_unique<GlobalShortcut>(sequence);
    QVERIFY(shortcut->isRegistered());
    QCOMPARE(shortcut->shortcut(), sequence);
    // Held: the server refuses the same combination to anyone else, with or without locks.
    QVERIFY(!m_other.grab(f5, ControlMask | ShiftMask));
    QVERIFY(!m_other.grab(f5, ControlMask | ShiftMask | LockMask));

    QSignalSpy spy(shortcut.get(), &GlobalShortcut::activated);
    m_keyboard.press(CtrlShift, XK_F5);
    QTRY_COMPARE(spy.count(), 1);

    shortcut.reset();
    QVERIFY(m_other.grab(f5, ControlMask | ShiftMask));
    m_other.ungrab(f5, ControlMask | ShiftMask);
}

void TestGlobalShortcut::firesWithLocks_data()
{
    QTest::addColumn<bool>("numLock");
    QTest::addColumn<bool>("capsLock");
    QTest::newRow("no lock") << false << false;
    QTest::newRow("NumLock") << true << false;
    QTest::newRow("CapsLock") << false << true;
    QTest::newRow("both") << true << true;
}

void TestGlobalShortcut::firesWithLocks()
{
    QFETCH(bool, numLock);
    QFETCH(bool, capsLock);
    GlobalShortcut shortcut(ctrlAlt(Qt::Key_K));
    QVERIFY(shortcut.isRegistered());
    QSignalSpy spy(&shortcut, &GlobalShortcut::activated);
    setLock(XK_Num_Lock, numLock);
    setLock(XK_Caps_Lock, capsLock);
    m_keyboard.press(CtrlAlt, XK_k);
    QTRY_COMPARE(spy.count(), 1);
}

void TestGlobalShortcut::numLockMaskComesFromServer()
{
    // One object lives through the change, one is made after it.
    GlobalShortcut before(ctrlAlt(Qt::Key_L));
    QVERIFY(before.isRegistered());
    QSignalSpy beforeSpy(&before, &GlobalShortcut::activated);

    // Put NumLock on Mod3 instead of the usual Mod2; the grabs must follow.
    const unsigned mask = m_keyboard.modifierMask(XK_Num_Lock);
    QVERIFY(mask != 0);
    const int row = mask == Mod3Mask ? 4 : 5;
    QVERIFY(m_keyboard.moveModifierKey(XK_Num_Lock, row));
    const auto restore = qScopeGuard([&] {
        setLock(XK_Num_Lock, false);
        int oldRow = 0;
        while ((1u << oldRow) != mask)
            ++oldRow;
        m_keyboard.moveModifierKey(XK_Num_Lock, oldRow);
    });
    QCOMPARE(m_keyboard.modifierMask(XK_Num_Lock), 1u << row);

    GlobalShortcut after(ctrlAlt(Qt::Key_N));
    QVERIFY(after.isRegistered());
    QSignalSpy afterSpy(&after, &GlobalShortcut::activated);
    setLock(XK_Num_Lock, true);
    QVERIFY(m_keyboard.state() & (1u << row));
    // The re-grab happens when our event loop sees the change; press until it has.
    QTRY_VERIFY_WITH_TIMEOUT((m_keyboard.press(CtrlAlt, XK_l), beforeSpy.count() > 0), 5000);
    QTRY_VERIFY_WITH_TIMEOUT((m_keyboard.press(CtrlAlt, XK_n), afterSpy.count() > 0), 5000);
}

void TestGlobalShortcut::foreignGrabIsNotRegistered()
{
    const unsigned g = m_keyboard.keycode(XK_g);
    QVERIFY(m_other.grab(g, ControlMask | m_altMask));
    const auto release = qScopeGuard([&] { m_other.ungrab(g, ControlMask | m_altMask); });

    auto taken = std::make_unique<GlobalShortcut>(ctrlAlt(Qt::Key_G));
    QVERIFY(!taken->isRegistered());
    GlobalShortcut free(ctrlAlt(Qt::Key_H));
    QVERIFY(free.isRegistered());
    QSignalSpy takenSpy(taken.get(), &GlobalShortcut::activated);
    QSignalSpy freeSpy(&free, &GlobalShortcut::activated);

    m_keyboard.press(CtrlAlt, XK_g);
    m_keyboard.press(CtrlAlt, XK_h);
    QTRY_COMPARE(freeSpy.count(), 1);
    QCOMPARE(takenSpy.count(), 0);

    // The failed attempt left nothing behind: the NumLock variant, which the other client does
    // not hold, is free again; and destroying the object leaves the other client's grab alone.
    XClient third;
    const unsigned numLock = m_keyboard.modifierMask(XK_Num_Lock);
    QVERIFY(third.grab(g, ControlMask | m_altMask | numLock));
    third.ungrab(g, ControlMask | m_altMask | numLock);
    taken.reset();
    QVERIFY(!third.grab(g, ControlMask | m_altMask));
}

void TestGlobalShortcut::sharedCombinationFiresOnceAndLastReleases()
{
    const unsigned j = m_keyboard.keycode(XK_j);
    auto first = std::make_unique<GlobalShortcut>(ctrlAlt(Qt::Key_J));
    auto second = std::make_unique<GlobalShortcut>(ctrlAlt(Qt::Key_J));
    QVERIFY(first->isRegistered());
    QVERIFY(second->isRegistered());
    QSignalSpy firstSpy(first.get(), &GlobalShortcut::activated);
    QSignalSpy secondSpy(second.get(), &GlobalShortcut::activated);

    m_keyboard.press(CtrlAlt, XK_j);
    flushPresses();
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 0);

    // The oldest holder goes: the grab stays for the other one, which now gets the press.
    first.reset();
    QVERIFY(!m_other.grab(j, ControlMask | m_altMask));
    m_keyboard.press(CtrlAlt, XK_j);
    flushPresses();
    QCOMPARE(secondSpy.count(), 1);

    second.reset();
    QVERIFY(m_other.grab(j, ControlMask | m_altMask));
    m_other.ungrab(j, ControlMask | m_altMask);
}

void TestGlobalShortcut::followsMappingChange()
{
    // Move F9 to a spare key, as a layout switch would.
    const unsigned oldKeycode = m_keyboard.keycode(XK_F9);
    const unsigned spare = m_keyboard.spareKeycode();
    QVERIFY(oldKeycode != 0 && spare != 0);
    const QList<unsigned long> oldSyms = m_keyboard.keysyms(oldKeycode);

    const QKeySequence sequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F9);
    GlobalShortcut shortcut(sequence);
    QVERIFY(shortcut.isRegistered());
    QSignalSpy spy(&shortcut, &GlobalShortcut::activated);

    m_keyboard.setKeysyms(oldKeycode, {XK_F33});
    m_keyboard.setKeysyms(spare, {XK_F9});
    const auto restore = qScopeGuard([&] {
        m_keyboard.setKeysyms(spare, {});
        m_keyboard.setKeysyms(oldKeycode, oldSyms);
    });

    // The re-grab happens when our event loop sees the change; press until it has.
    QTRY_VERIFY_WITH_TIMEOUT((m_keyboard.pressKeycode(CtrlShift, spare), spy.count() > 0), 5000);
    QVERIFY(shortcut.isRegistered());
    // The old key is free: another client may take it.
    QVERIFY(m_other.grab(oldKeycode, ControlMask | ShiftMask));
    m_other.ungrab(oldKeycode, ControlMask | ShiftMask);
}

void TestGlobalShortcut::emptyAndUnknownKeysDoNotRegister()
{
    GlobalShortcut empty{QKeySequence()};
    QVERIFY(!empty.isRegistered());
    GlobalShortcut zero(QKeySequence(0, 0, 0, 0));
    QVERIFY(!zero.isRegistered());
    GlobalShortcut unknown(QKeySequence(Qt::CTRL | Qt::Key_LaunchG));
    QVERIFY(!unknown.isRegistered());
    // None of them disturbs a real one.
    GlobalShortcut real(ctrlAlt(Qt::Key_M));
    QVERIFY(real.isRegistered());
}

QTEST_MAIN(TestGlobalShortcut)
#include "tst_globalshortcut.moc"
