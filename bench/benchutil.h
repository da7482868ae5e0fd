#pragma once

#include "store/macrostore.h"

#include <algorithm>
#include <cstdio>
#include <QElapsedTimer>
#include <QList>
#include <QSettings>

// Shared by the benchmark programs: a large store and the figures of a repeated action.
namespace Bench {

// The 384 codes the key list offers (48 keys, every Ctrl/Alt/Shift combination).
inline QList<int> allCodes()
{
    QList<int> keys;
    for (int i = 0; i < 12; ++i)
        keys.append(Qt::Key_F1 + i);
    for (int c = '0'; c <= '9'; ++c)
        keys.append(c);
    for (int c = 'A'; c <= 'Z'; ++c)
        keys.append(c);
    QList<int> codes;
    for (int modifiers = 0; modifiers < 8; ++modifiers) {
        for (int key : std::as_const(keys))
            codes.append(MacroStore::buildCode(modifiers & 1, modifiers & 2, modifiers & 4, key));
    }
    return codes;
}

// `masters` master macros of `notes` notes each; the codes cycle through allCodes().
inline void fillStore(int masters, int notes)
{
    const QList<int> codes = allCodes();
    QSettings store;
    store.clear();
    for (int m = 0; m < masters; ++m) {
        for (int n = 0; n < notes; ++n) {
            store.beginGroup(QStringLiteral("MasterMacros/Master %1/Macros/Note %2")
                                 .arg(m, 3, 10, QLatin1Char('0'))
                                 .arg(n, 6, 10, QLatin1Char('0')));
            store.setValue(MacroStore::ShortcutKey, codes.at(n % codes.size()));
            store.setValue(
                MacroStore::TextKey,
                QStringLiteral("Dear customer,\nthank you for note %1 of %2.").arg(n).arg(m));
            store.endGroup();
        }
    }
}

// Runs `action` `rounds` times (with `between` after each, untimed) and prints median and worst.
template <typename Action, typename Between>
void measure(const char *name, int rounds, Action action, Between between)
{
    QList<double> samples;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        action(i);
        samples.append(double(clock.nsecsElapsed()) / 1e6);
        between(i);
    }
    std::sort(samples.begin(), samples.end());
    std::printf("%-34s median %8.2f ms   worst %8.2f ms   (%d rounds)\n", name,
                samples.at(samples.size() / 2), samples.last(), rounds);
    std::fflush(stdout);
}

} // namespace Bench
