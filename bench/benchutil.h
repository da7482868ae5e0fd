#pragma once

#include "store/macrostore.h"

#include <algorithm>
#include <cstdio>
#include <QElapsedTimer>
#include <QFile>
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

// A master macro of `notes` notes "Note 000000"...; the codes cycle through allCodes().
inline void addMaster(QSettings &store, const QString &master, int notes)
{
    const QList<int> codes = allCodes();
    for (int n = 0; n < notes; ++n) {
        store.beginGroup(QStringLiteral("MasterMacros/%1/Macros/Note %2")
                             .arg(master)
                             .arg(n, 6, 10, QLatin1Char('0')));
        store.setValue(MacroStore::ShortcutKey, codes.at(n % codes.size()));
        store.setValue(
            MacroStore::TextKey,
            QStringLiteral("Dear customer,\nthank you for note %1 of %2.").arg(n).arg(master));
        store.endGroup();
    }
}

inline void addMaster(const QString &master, int notes)
{
    QSettings store;
    addMaster(store, master, notes);
}

// `masters` master macros "Master 000"... of `notes` notes each.
inline void fillStore(int masters, int notes)
{
    QSettings store;
    store.clear();
    for (int m = 0; m < masters; ++m)
        addMaster(store, QStringLiteral("Master %1").arg(m, 3, 10, QLatin1Char('0')), notes);
}

// A line of /proc/self/status (or that of process `pid`) in MiB, e.g. "VmRSS" or "RssAnon" (the
// heap and other memory of the process's own); 0 where there is none.
inline double statusMiB(const QByteArray &key, qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid)
                     : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
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
