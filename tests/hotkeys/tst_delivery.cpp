// Delivery without a window or a desktop: every way in through the same steps, the live master
// macro and its table of texts, the queue, the held keys and the give-up, a paste that fails,
// the desktop's echo of our own stroke, and which paste key a program gets, on a platform the
// test plays (FakePlatform).
#include "support/enginerig.h"
#include "support/fakeplatform.h"
#include "support/testenv.h"

#include "hotkeys/typedkeys.h"

#include <QtTest>

Q_DECLARE_METATYPE(DeliveryRequest::Way)

namespace {

const int A = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const int B = (Qt::CTRL | Qt::ALT | Qt::Key_B).toCombined();
const int C = (Qt::CTRL | Qt::ALT | Qt::Key_C).toCombined();
const int D = (Qt::CTRL | Qt::ALT | Qt::Key_D).toCombined();
const int F5 = (Qt::CTRL | Qt::ALT | Qt::Key_F5).toCombined();
const int CtrlV = (Qt::CTRL | Qt::Key_V).toCombined();

} // namespace

class TestDelivery final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;
    std::unique_ptr<FakePlatform> m_fakePlatform;
    std::unique_ptr<EngineRig> m_rig;
    FakePlatform *m_fake = nullptr;
    KeyRegistration *m_keys = nullptr;
    LiveMaster *m_live = nullptr;
    DeliveryEngine *m_engine = nullptr;

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("A", "one", A, "first A");
        TestEnvironment::writeNote("A", "two", A, "second A");
        TestEnvironment::writeNote("A", "three", B, "B");
        TestEnvironment::writeNote("A", "none", 0, "never");
        TestEnvironment::writeNote("A", "console", F5, "never either");
        TestEnvironment::writeNote("C", "c", C, "C");
        TestEnvironment::writeNote("C", "paste", CtrlV, "on the paste key");
        m_fakePlatform = std::make_unique<FakePlatform>();
        m_fake = m_fakePlatform.get();
        m_rig = std::make_unique<EngineRig>(m_fake->platform(), m_store);
        m_keys = &m_rig->keys;
        m_live = &m_rig->live;
        m_engine = &m_rig->engine;
    }
    void cleanup()
    {
        m_rig.reset();
        m_fakePlatform.reset();
    }

    // Every way in goes through the same steps: the note's text as the store holds it, filled
    // in where the placeholders are on, pasted or typed as the target wants, the caret moved;
    // an abbreviation's characters erased first, and no one-second wait for it.
    void waysIn_data()
    {
        QTest::addColumn<DeliveryRequest::Way>("way");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("fillIn");
        const QList<QPair<const char *, DeliveryRequest::Way>> ways{
            {"hot key", DeliveryRequest::Way::HotKey},
            {"pick", DeliveryRequest::Way::Pick},
            {"abbreviation", DeliveryRequest::Way::Abbreviation},
            {"command line", DeliveryRequest::Way::CommandLine}};
        for (const auto &[name, way] : ways)
            for (bool typed : {false, true})
                for (bool fillIn : {false, true})
                    QTest::addRow("%s, %s, placeholders %s", name, typed ? "typed" : "pasted",
                                  fillIn ? "on" : "off")
                        << way << typed << fillIn;
    }
    void waysIn()
    {
        QFETCH(DeliveryRequest::Way, way);
        QFETCH(bool, typed);
        QFETCH(bool, fillIn);
        TestEnvironment::writeNote("C", "inner", 0, "IN");
        TestEnvironment::writeNote("C", "outer", D, "<{{note:inner}}{{cursor}}>");
        Preferences preferences;
        preferences.setExpandPlaceholders(fillIn);
        preferences.setDefaultPasteKey(typed ? PasteStroke::Type : CtrlV);
        m_rig->apply(preferences);
        m_engine->setTiming({300, 50, 2000});
        m_fake->typeFailure = "";
        QGuiApplication::clipboard()->setText("before");
        QSignalSpy finished(m_engine, &DeliveryEngine::pasteFinished);
        const bool abbreviation = way == DeliveryRequest::Way::Abbreviation;
        QElapsedTimer clock;
        clock.start();
        if (way == DeliveryRequest::Way::HotKey) {
            m_live->choose("C");
            m_fake->press(D);
        } else {
            QVERIFY(m_engine->submit({way, "C", "outer", 0, abbreviation ? 3 : 0}));
        }
        QVERIFY(finished.wait(2000));
        QCOMPARE(finished.first().first().toString(), QString());
        QCOMPARE(clock.elapsed() >= 300, !abbreviation);
        const QString text = fillIn ? "<IN>" : "<{{note:inner}}{{cursor}}>";
        QList<int> strokes;
        if (abbreviation)
            strokes << Qt::Key_Backspace << Qt::Key_Backspace << Qt::Key_Backspace;
        if (!typed)
            strokes << CtrlV;
        if (fillIn)
            strokes << Qt::Key_Left; // back before ">"
        QTRY_COMPARE(m_fake->strokes, strokes);
        QCOMPARE(m_fake->typed, typed ? QStringList{text} : QStringList());
        // Pasted, the text is on the clipboard from the start, erasing included; typed, the
        // clipboard is never touched.
        QCOMPARE(m_fake->pasted, QStringList(strokes.size(), typed ? "before" : text));
    }

    // {{key:...}} presses its key where it stands: the text before it goes out first.
    void keysInTheText_data()
    {
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QList<int>>("strokes");
        QTest::addColumn<QStringList>("sent"); // pasted at each stroke, or typed
        QTest::newRow("pasted") << false
                                << QList<int>{CtrlV, Qt::Key_Left, Qt::Key_Left, CtrlV,
                                              Qt::Key_Return}
                                << QStringList{"ab", "ab", "ab", "c", "c"};
        QTest::newRow("typed") << true << QList<int>{Qt::Key_Left, Qt::Key_Left, Qt::Key_Return}
                               << QStringList{"ab", "c"};
    }
    void keysInTheText()
    {
        QFETCH(bool, typed);
        QFETCH(QList<int>, strokes);
        QFETCH(QStringList, sent);
        TestEnvironment::writeNote("C", "keys", 0, "ab{{key:Left}}{{key:Left}}c{{key:Return}}");
        Preferences preferences;
        preferences.setExpandPlaceholders(true);
        preferences.setDefaultPasteKey(typed ? PasteStroke::Type : CtrlV);
        m_rig->apply(preferences);
        m_engine->setTiming({50, 50, 2000});
        m_fake->typeFailure = "";
        QVERIFY(m_engine->submit({DeliveryRequest::Way::Pick, "C", "keys", 0, 0}));
        QTRY_COMPARE(m_fake->strokes, strokes);
        QCOMPARE(typed ? m_fake->typed : m_fake->pasted, sent);
    }

    // The clipboard is read at the request only for a note that asks for it, or one it includes.
    void readsTheClipboardOnlyWhenAsked_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pasted");
        QTest::newRow("not asked") << "{{date:yyyy}} {{{{clipboard}}"
                                   << "2026 {{clipboard}}";
        QTest::newRow("its own") << "[{{clipboard}}]"
                                 << "[copied]";
        QTest::newRow("a note it includes") << "{{note:sig}}{{note:sig}}"
                                            << "-- copied-- copied";
    }
    void readsTheClipboardOnlyWhenAsked()
    {
        QFETCH(QString, text);
        QFETCH(QString, pasted);
        TestEnvironment::writeNote("C", "sig", 0, "-- {{clipboard}}");
        TestEnvironment::writeNote("C", "c", C, text);
        Preferences preferences;
        preferences.setExpandPlaceholders(true);
        m_rig->apply(preferences);
        m_engine->setTiming({0, 0, 2000});
        QGuiApplication::clipboard()->setText("copied");
        m_live->choose("C");
        m_fake->press(C);
        QTRY_COMPARE(m_fake->pasted.size(), 1);
        QCOMPARE(m_fake->clipboardReads, pasted.contains("copied") ? 1 : 0);
        QCOMPARE(
            m_fake->pasted.first().replace(QString::number(QDate::currentDate().year()), "2026"),
            pasted);
    }

    void registrationFollowsTheLiveMasterMacro()
    {
        m_fake->refused = {B};
        QSignalSpy unavailable(m_keys, &KeyRegistration::unavailableChanged);
        m_live->choose("A");
        QCOMPARE(m_keys->liveCodes(), QList<int>({A, B})); // once each; "none" holds none
        QVERIFY(m_keys->unavailable().size() == 2 && m_keys->unavailable().contains(B));
        QVERIFY(m_keys->unavailable().value(F5).contains("console switching"));
        // Another program lets go of B: the next look takes it.
        m_fake->refused.clear();
        m_keys->retryUnavailable();
        QCOMPARE(m_keys->unavailable().keys(), QList<int>{F5});
        m_live->choose("C");
        m_live->renamed("C", "D");
        QVERIFY(m_live->name() == "D" && m_keys->liveCodes() == QList<int>({C, CtrlV}));
        m_live->removed("D");
        QVERIFY(m_keys->liveCodes().isEmpty() && m_keys->unavailable().isEmpty());
        QCOMPARE(unavailable.size(), 3);
    }

    void presses_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QStringList>("pasted");
        QTest::newRow("one press, one paste") << QList<int>{A} << QStringList{"first A"};
        QTest::newRow("in press order") << QList<int>{B, A} << QStringList{"B", "first A"};
        QTest::newRow("not of the master macro") << QList<int>{C, B} << QStringList{"B"};
        // The table of texts follows the file, also when another program wrote it.
        QTest::newRow("what the file holds now") << QList<int>{A} << QStringList{"elsewhere"};
        // What the user copied, never a text of ours: the second press comes while the first
        // paste is on its way (the clipboard is kept, as it is by default).
        QTest::newRow("{{clipboard}} twice")
            << QList<int>{C, C} << QStringList{"[copied]", "[copied]"};
    }
    void presses()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QStringList, pasted);
        if (pasted.first().startsWith('[')) {
            TestEnvironment::writeNote("A", "clip", C, "[{{clipboard}}]");
            Preferences preferences;
            preferences.setExpandPlaceholders(true);
            m_rig->apply(preferences);
            QGuiApplication::clipboard()->setText("copied");
        }
        m_live->choose("A");
        if (pasted.first() == "elsewhere") {
            QTest::qWait(20); // a file time stamp of its own
            QSettings(m_store.fileName(), QSettings::IniFormat)
                .setValue("MasterMacros/A/Macros/one/text", "elsewhere");
        }
        QElapsedTimer clock;
        clock.start();
        for (int code : codes)
            m_fake->press(code);
        QTRY_COMPARE_WITH_TIMEOUT(m_fake->pasted, pasted, 6000);
        // Each paste waits its own full second after its own clipboard write, and the one after
        // it waits until the target has had time to fetch it.
        const int n = int(pasted.size());
        const Delivery::Timing timing;
        QVERIFY(clock.elapsed() >= n * timing.pasteDelayMs + (n - 1) * timing.settleMs);
        QTest::qWait(timing.pasteDelayMs + timing.settleMs);
        QCOMPARE(m_fake->pasted, pasted);
    }

    // What the desktop and the user do between the clipboard write and the paste.
    void pasteOutcomes_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QList<int>>("strokes"); // none: the paste failed
        QTest::newRow("keys held, then let go") << "held" << QList<int>{CtrlV};
        QTest::newRow("keys held past the give-up") << "held on" << QList<int>();
        // Where the desktop says when a chord is let go of, it repeats a held one as presses.
        QTest::newRow("chord held, its repeats") << "held, repeats" << QList<int>{CtrlV};
        QTest::newRow("the desktop refuses the keyboard") << "refused" << QList<int>();
        // A hot key on Ctrl+V: the desktop hands our own stroke back; it must not paste again.
        QTest::newRow("own stroke echoed") << "echo" << QList<int>{CtrlV};
        QTest::newRow("terminal") << "xterm" << QList<int>{PasteStroke::ShiftInsert};
        QTest::newRow("user's class beats built-in instance")
            << "kitty, user's Ctrl+V" << QList<int>{CtrlV};
    }
    void pasteOutcomes()
    {
        QFETCH(QString, situation);
        QFETCH(QList<int>, strokes);
        m_engine->setTiming({50, 50, 300});
        // As the next start reads them; a class with a group separator is still one class.
        Preferences preferences = Preferences::load();
        preferences.setPasteKeys({{"Spe/cial", CtrlV}, {"kitty", 0x41}}); // the second is no stroke
        QVERIFY(preferences.save());
        m_rig->apply(Preferences::load());
        QCOMPARE(m_store.masters(), QStringList({"A", "C"})); // the preferences stay apart
        QVERIFY(!preferences.restoreClipboard());             // off until the user asks
        m_fake->keysDown = situation == "held" || situation == "held on";
        m_fake->releases = situation == "held, repeats";
        m_fake->echoes = situation == "echo";
        m_fake->strokeFailure = situation == "refused" ? "no keyboard for you" : "";
        m_fake->windowClass = situation == "xterm" ? QStringList{"xterm", "XTerm"}
                              : situation == "kitty, user's Ctrl+V"
                                  ? QStringList{"kitty", "Spe/cial"}
                                  : QStringList();
        QSignalSpy finished(m_engine, &DeliveryEngine::pasteFinished);
        m_live->choose("C");
        m_fake->press(situation == "echo" ? CtrlV : C);
        if (situation.startsWith("held,"))
            for (int repeat = 0; repeat < 5; ++repeat)
                m_fake->press(C);
        if (situation == "held" || situation.startsWith("held,")) {
            QTest::qWait(150);
            QVERIFY(m_fake->strokes.isEmpty());
            m_fake->keysDown = false;
            m_fake->release(C);
        }
        QVERIFY(finished.wait(2000));
        QTest::qWait(200); // an echo would have been delivered by now
        QCOMPARE(m_fake->strokes, strokes);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toString().isEmpty(), !strokes.isEmpty());
        // A paste that did not go out leaves the text for the user to paste by hand.
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 situation == "echo" ? "on the paste key" : "C");
    }

    // The quick pick's combination is taken from a live note that has it, and given back; a
    // note picked by name goes out in turn with the presses.
    void quickPickKeyAndPickedNotes()
    {
        m_engine->setTiming({50, 50, 300});
        m_live->choose("A");
        Preferences preferences;
        preferences.setQuickPickShortcut(B);
        m_rig->apply(preferences);
        QVERIFY(m_keys->quickPickRegistered());
        QCOMPARE(m_keys->liveCodes(), QList<int>{A});
        QVERIFY(m_keys->unavailable().value(B).contains("Pick a note"));
        QSignalSpy opened(m_keys, &KeyRegistration::quickPickPressed);
        m_fake->press(B);
        QTRY_COMPARE(opened.size(), 1);
        m_fake->press(A);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), "first A");
        // Picked, it waits for the press's paste.
        QVERIFY(m_engine->submit({DeliveryRequest::Way::Pick, "C", "c", 0, 0}));
        QVERIFY(!m_engine->submit({DeliveryRequest::Way::Pick, "C", "gone", 0, 0}));
        QTRY_COMPARE(m_fake->pasted, QStringList({"first A", "C"}));
        m_rig->apply(Preferences());
        QVERIFY(!m_keys->quickPickRegistered());
        QCOMPARE(m_keys->liveCodes(), QList<int>({A, B}));
    }

    // Typing rather than pasting, by window class: the choice, the row for every other program,
    // the length beyond which a text is pasted after all, a desktop that cannot type.
    void typing_data()
    {
        QTest::addColumn<QString>("windowClass");
        QTest::addColumn<int>("fallback"); // the row for every other program
        QTest::addColumn<int>("length");   // of the text, in characters
        QTest::addColumn<bool>("canType");
        QTest::addColumn<QList<int>>("strokes"); // none: typed, or failed
        const int type = PasteStroke::Type;
        QTest::newRow("class types") << "vmviewer" << CtrlV << 40 << true << QList<int>();
        QTest::newRow("every other program types") << "gedit" << type << 40 << true << QList<int>();
        QTest::newRow("a built-in terminal still pastes")
            << "urxvt" << type << 40 << true << QList<int>{PasteStroke::ShiftInsert};
        QTest::newRow("at the limit") << "vmviewer" << CtrlV << 20000 << true << QList<int>();
        QTest::newRow("beyond it: pasted, with its terminal's key")
            << "xterm" << CtrlV << 20001 << true << QList<int>{PasteStroke::ShiftInsert};
        QTest::newRow("beyond it, everywhere typed: Ctrl+V")
            << "gedit" << type << 20001 << true << QList<int>{CtrlV};
        QTest::newRow("the desktop cannot type")
            << "vmviewer" << CtrlV << 40 << false << QList<int>();
    }
    void typing()
    {
        QFETCH(QString, windowClass);
        QFETCH(int, fallback);
        QFETCH(int, length);
        QFETCH(bool, canType);
        QFETCH(QList<int>, strokes);
        // Characters beyond 16 bits count once towards the limit.
        QString text;
        for (int i = 0; i < length; ++i)
            text += i % 2 ? QString("\U0001F600") : QString("ж");
        TestEnvironment::writeNote("C", "c", C, text);
        Preferences preferences;
        preferences.setPasteKeys({{"VmViewer", PasteStroke::Type}, {"xterm", PasteStroke::Type}});
        preferences.setDefaultPasteKey(fallback);
        m_rig->apply(preferences);
        m_engine->setTiming({50, 50, 300});
        m_fake->windowClass = QStringList{windowClass, windowClass};
        m_fake->typeFailure = canType ? "" : "no typing here";
        m_fake->leftOut = "The keyboard layout in use has no key for ж.";
        QGuiApplication::clipboard()->setText("before");
        QSignalSpy finished(m_engine, &DeliveryEngine::pasteFinished);
        m_live->choose("C");
        m_fake->press(C);
        QVERIFY(finished.wait(2000));
        QCOMPARE(m_fake->strokes, strokes);
        const bool typed = strokes.isEmpty() && canType;
        QCOMPARE(m_fake->typed, typed ? QStringList{text} : QStringList());
        const QString failure = finished.first().at(0).toString();
        const QString said = failure + finished.first().at(1).toString();
        // Typed, what the layout could not type is said as a change, not a failure; else why it
        // was not typed.
        if (typed)
            QCOMPARE(finished.first().at(1).toString(), m_fake->leftOut);
        if (typed || length > Delivery::TypeLimit)
            QCOMPARE(failure, QString());
        else
            QCOMPARE(said.isEmpty(), canType && length <= Delivery::TypeLimit);
        QVERIFY(length <= Delivery::TypeLimit || said.contains("20000 characters"));
        // Typed, the clipboard was never touched; not typed, the text is there (to paste by hand
        // where the desktop cannot type).
        QCOMPARE(QGuiApplication::clipboard()->text(), typed ? "before" : text);
    }

    // A typed capital is Shift and its letter: a hot key on that chord must not type its note
    // again and again.
    void typedTextDoesNotPressItsOwnHotKey()
    {
        const int shiftA = MacroStore::buildCode(false, false, true, Qt::Key_A);
        TestEnvironment::writeNote("C", "shift", shiftA, "Also typed");
        Preferences preferences;
        preferences.setDefaultPasteKey(PasteStroke::Type);
        m_rig->apply(preferences);
        m_engine->setTiming({50, 50, 300});
        m_fake->windowClass = QStringList{"gedit", "gedit"};
        m_fake->typeFailure = "";
        m_fake->typedChord = shiftA;
        QSignalSpy finished(m_engine, &DeliveryEngine::pasteFinished);
        m_live->choose("C");
        m_fake->press(shiftA);
        QVERIFY(finished.wait(2000));
        QVERIFY(!finished.wait(500));
        QCOMPARE(m_fake->typed, QStringList{"Also typed"});
    }

    void storedPasteKeys()
    {
        // As an earlier version wrote them: no row for every other program.
        QSettings file;
        file.setValue("Preferences/pasteKeys/size", 1);
        file.setValue("Preferences/pasteKeys/1/windowClass", "vmviewer");
        file.setValue("Preferences/pasteKeys/1/stroke", "type");
        file.sync();
        Preferences preferences = Preferences::load();
        QCOMPARE(preferences.defaultPasteKey(), CtrlV);
        QCOMPARE(preferences.pasteKeys(), (QHash<QString, int>{{"vmviewer", PasteStroke::Type}}));
        QVERIFY(preferences.save());
        QVERIFY(!QSettings().contains("Preferences/defaultPasteKey")); // as before, untouched
        preferences.setDefaultPasteKey(PasteStroke::Type);
        QVERIFY(preferences.save());
        QCOMPARE(QSettings().value("Preferences/defaultPasteKey").toString(), "Type");
        QCOMPARE(Preferences::load().defaultPasteKey(), PasteStroke::Type);
    }

    void typedKeys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<uint32_t>>("keysyms");
        QTest::newRow("Latin-1") << "a É" << QList<uint32_t>{'a', ' ', 0xc9};
        QTest::newRow("named Cyrillic") << "Жю" << QList<uint32_t>{0x6f6, 0x6c0};
        QTest::newRow("no name: Unicode range")
            << "中\U0001F600" << QList<uint32_t>{0x1004e2d, 0x101f600};
        QTest::newRow("line breaks and tabs")
            << "a\r\nb\nc\rd\te" << QList<uint32_t>{'a', TypedKeys::Return, 'b', TypedKeys::Return,
                                                    'c', TypedKeys::Return, 'd', TypedKeys::Tab,
                                                    'e'};
        QTest::newRow("other controls left out") << "\x01x\x7f\u0085y" << QList<uint32_t>{'x', 'y'};
    }
    void typedKeys()
    {
        QFETCH(QString, text);
        QFETCH(QList<uint32_t>, keysyms);
        QCOMPARE(TypedKeys::keysymsFor(text), keysyms);
        QCOMPARE(TypedKeys::characterOf(keysyms.last()), text.toUcs4().last()); // and back
    }
};

QTEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
