// Hot-key figures for a large active master macro: 1,000 notes, 384 of them with distinct hot
// keys (every Ctrl/Alt/Shift combination of the 48 keys), the rest without. Prints the time from
// an activation to the clipboard holding the note's text (the lookup, not the one-second wait)
// and the time of one full rebuild of the hot-key set. Run it on a private X server: while it
// runs it grabs 384 combinations, bare letters included.
#include "hotkeys/globalshortcut.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "support/testenv.h"
#include "widgets/checktreewidget.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>

struct MainWindowTester
{
    static void rebuild(MainWindow &window, const QString &master)
    {
        window.clearShortcuts();
        window.registerShortcuts(master);
    }
    static bool findNoteText(const MainWindow &window, int code, QString *text)
    {
        return window.findNoteText(code, text);
    }
    // Drops the pending paste, so the next activation is delivered at once.
    static void dropPendingPaste(MainWindow &window)
    {
        if (window.m_pasteTimer)
            window.m_pasteTimer->stop();
        if (window.m_settleTimer)
            window.m_settleTimer->stop();
        window.m_pendingDeliveries.clear();
    }
};

namespace {

const QString Master = QStringLiteral("Bench");
constexpr int Notes = 1000;
constexpr int Combinations = 384;
constexpr int Rounds = 30;

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures summarise(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples.at(samples.size() / 2), samples.last()};
}

QList<int> allCodes()
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

// Spreads the coded notes evenly over the store order; returns each note's code.
QList<int> writeStore()
{
    const QList<int> codes = allCodes();
    QList<int> noteCodes;
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    store.beginGroup(Master);
    store.beginGroup(MacroStore::MacrosGroup);
    int next = 0;
    for (int i = 0; i < Notes; ++i) {
        const bool coded = (i * Combinations) / Notes != ((i + 1) * Combinations) / Notes;
        const int code = coded ? codes.at(next++) : 0;
        store.beginGroup(QStringLiteral("note %1").arg(i, 4, 10, QLatin1Char('0')));
        store.setValue(MacroStore::ShortcutKey, code);
        store.setValue(MacroStore::TextKey, QStringLiteral("Text of note %1\nsecond line").arg(i));
        store.endGroup();
        noteCodes.append(code);
    }
    return noteCodes;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    const QList<int> noteCodes = writeStore();

    MainWindow window;
    auto *tree = window.findChild<CheckTreeWidget *>(QStringLiteral("treeMacros"));
    tree->topLevelItem(0)->setCheckState(0, Qt::Checked);

    QList<double> rebuilds;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        MainWindowTester::rebuild(window, Master);
        rebuilds.append(clock.nsecsElapsed() / 1e6);
    }
    const QList<GlobalShortcut *> live = tree->findChildren<GlobalShortcut *>();
    const auto registered = std::count_if(
        live.cbegin(), live.cend(), [](const GlobalShortcut *s) { return s->isRegistered(); });

    // The first, a middle and the last coded note in store order.
    QList<int> coded;
    for (int i = 0; i < Notes; ++i) {
        if (noteCodes.at(i) != 0)
            coded.append(i);
    }
    const int targets[] = {coded.first(), coded.at(coded.size() / 2), coded.last()};

    std::printf("hot keys on %s: %d notes, %d with a hot key, %lld objects, %lld registered\n",
                qPrintable(QGuiApplication::platformName()), Notes, int(coded.size()),
                static_cast<long long>(live.size()), static_cast<long long>(registered));
    const Figures rebuild = summarise(rebuilds);
    std::printf("rebuild (clear + register): median %.2f ms, worst %.2f ms over %d rounds "
                "(target < 100 ms)\n",
                rebuild.median, rebuild.worst, Rounds);

    for (int index : targets) {
        const int code = noteCodes.at(index);
        GlobalShortcut *shortcut = nullptr;
        for (GlobalShortcut *candidate : live) {
            if (candidate->shortcut() == QKeySequence(code))
                shortcut = candidate;
        }
        const QString expected = QStringLiteral("Text of note %1\nsecond line").arg(index);
        QList<double> lookups;
        QList<double> storeOnly;
        for (int round = 0; round < Rounds; ++round) {
            QString text;
            QElapsedTimer storeClock;
            storeClock.start();
            MainWindowTester::findNoteText(window, code, &text);
            storeOnly.append(storeClock.nsecsElapsed() / 1e6);

            QGuiApplication::clipboard()->clear();
            QElapsedTimer clock;
            clock.start();
            Q_EMIT shortcut->activated();
            const double ms = clock.nsecsElapsed() / 1e6;
            if (QGuiApplication::clipboard()->text() != expected) {
                std::printf("note %d: the clipboard does not hold its text\n", index);
                return 1;
            }
            lookups.append(ms);
            MainWindowTester::dropPendingPaste(window);
        }
        const Figures lookup = summarise(lookups);
        const Figures store = summarise(storeOnly);
        std::printf("activation to clipboard, note %4d of %d (%s): median %.3f ms, worst %.3f ms "
                    "(target < 2 ms); of which the store walk: median %.3f ms\n",
                    index + 1, Notes, qPrintable(QKeySequence(code).toString()), lookup.median,
                    lookup.worst, store.median);
    }
    return 0;
}
