// Typing on a Wayland desktop's own layout: the keys planned for a text, run through the same
// keymap and compose sequences a program typed into uses, write exactly that text, less what the
// layout cannot type (which is named, never replaced by another character).
#include "hotkeys/portal/keystrokeplan.h"

#include <memory>
#include <QtTest>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

namespace {

template <typename T> using Owned = std::unique_ptr<T, void (*)(T *)>;

Owned<xkb_keymap> keymapOf(xkb_context *context, const QByteArray &layouts)
{
    xkb_rule_names names{"evdev", "pc105", layouts.constData(), nullptr, nullptr};
    return {xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
            xkb_keymap_unref};
}

// What a program gets from the keys, as a compositor and the program's compose handling see them.
QString written(xkb_keymap *keymap, uint32_t layout, const QList<KeystrokePlan::Key> &keys)
{
    Owned<xkb_state> state(xkb_state_new(keymap), xkb_state_unref);
    Owned<xkb_context> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
    Owned<xkb_compose_table> table(xkb_compose_table_new_from_locale(context.get(), "C", {}),
                                   xkb_compose_table_unref);
    Owned<xkb_compose_state> compose(xkb_compose_state_new(table.get(), {}),
                                     xkb_compose_state_unref);
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
    QString text;
    for (const KeystrokePlan::Key &key : keys) {
        const xkb_keycode_t code = key.code + 8;
        if (key.down) {
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), code);
            xkb_compose_state_feed(compose.get(), keysym);
            char utf8[16] = {};
            switch (xkb_compose_state_get_status(compose.get())) {
            case XKB_COMPOSE_COMPOSED:
                xkb_compose_state_get_utf8(compose.get(), utf8, sizeof utf8);
                text += QString::fromUtf8(utf8);
                xkb_compose_state_reset(compose.get());
                break;
            case XKB_COMPOSE_NOTHING:
                xkb_state_key_get_utf8(state.get(), code, utf8, sizeof utf8);
                text += keysym == XKB_KEY_Return ? QString("\n") : QString::fromUtf8(utf8);
                break;
            default:
                break;
            }
        }
        xkb_state_update_key(state.get(), code, key.down ? XKB_KEY_DOWN : XKB_KEY_UP);
    }
    return text;
}

} // namespace

class TestKeystrokePlan final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typesWhatTheLayoutHas_data()
    {
        QTest::addColumn<QByteArray>("layouts");
        QTest::addColumn<int>("layout"); // the group in use
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("leftOut");
        // Evdev codes, down "+" and up "-", "~" where the target is given time first; "": any.
        QTest::addColumn<QString>("keys");
        // The degree sign is Shift+^ (and AltGr+Shift+0): never a bare 0.
        QTest::newRow("de: degree, digits") << QByteArray("de") << 0 << "°0"
                                            << ""
                                            << "";
        QTest::newRow("de: dead keys and Space for ^ `")
            << QByteArray("de") << 0 << "x^y`"
            << ""
            << "+45 -45 ~+41 -41 +57 -57 +44 -44 ~+42 +13 -13 -42 +57 -57";
        QTest::newRow("de: dead key and letter for accents it lacks")
            << QByteArray("de") << 0 << "êÈáô"
            << ""
            << "";
        QTest::newRow("de: AltGr and Shift") << QByteArray("de") << 0 << "@€{ßÄ|>"
                                             << ""
                                             << "";
        QTest::newRow("capitals hold Shift once") << QByteArray("us") << 0 << "AB"
                                                  << ""
                                                  << "+42 +30 -30 +48 -48 -42";
        QTest::newRow("us: left out, named once") << QByteArray("us") << 0 << "aé中bé\U0001F600"
                                                  << "é中\U0001F600"
                                                  << "";
        QTest::newRow("us,de: the second group") << QByteArray("us,de") << 1 << "ä°z"
                                                 << ""
                                                 << "";
        QTest::newRow("us,de: the first group") << QByteArray("us,de") << 0 << "äz"
                                                << "ä"
                                                << "";
        QTest::newRow("line breaks, tabs; other controls silently out")
            << QByteArray("us") << 0 << "a\r\nb\rc\td\x01\u0085"
            << ""
            << "";
        QTest::newRow("a group the keymap lacks types nothing") << QByteArray("us") << 1 << "ab"
                                                                << "ab"
                                                                << "";
    }
    void typesWhatTheLayoutHas()
    {
        QFETCH(QByteArray, layouts);
        QFETCH(int, layout);
        QFETCH(QString, text);
        QFETCH(QString, leftOut);
        QFETCH(QString, keys);
        Owned<xkb_context> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref);
        const Owned<xkb_keymap> keymap = keymapOf(context.get(), layouts);
        QVERIFY2(keymap, "no keyboard layouts (xkb-data) here");
        const KeystrokePlan::Result result =
            KeystrokePlan(keymap.get(), uint32_t(layout), "C").plan(text);
        QCOMPARE(result.leftOut, leftOut);
        QString expected = text;
        for (const QChar c : leftOut)
            expected.remove(c);
        expected.replace("\r\n", "\n").replace('\r', '\n').remove('\x01').remove(QChar(0x85));
        QCOMPARE(written(keymap.get(), uint32_t(layout), result.keys), expected);
        if (!keys.isEmpty()) {
            QStringList got;
            for (const KeystrokePlan::Key &key : result.keys)
                got << QString(key.settleFirst ? "~" : "") + (key.down ? "+" : "-") +
                           QString::number(key.code);
            QCOMPARE(got.join(' '), keys);
        }
    }
};

QTEST_GUILESS_MAIN(TestKeystrokePlan)
#include "tst_keystrokeplan.moc"
