// One keystroke in the note editor: the dirty state and the in-use marks of the key list, which
// re-read the codes of the master macro's notes every time.
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "support/testenv.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Keystrokes = 300;

// Fills the store: the master macro "Edited" with `notes` notes, and further master macros of
// 100 notes each until the store holds `total` notes. Every note has a distinct hot key.
void fillStore(int notes, int total)
{
    QSettings store;
    store.clear();
    store.beginGroup(MacroStore::MasterMacrosGroup);
    auto writeMaster = [&store](const QString &master, int count) {
        store.beginGroup(master);
        store.setValue(MacroStore::DescriptionKey, QString());
        for (int i = 0; i < count; ++i) {
            store.beginGroup(QStringLiteral("%1/%2").arg(MacroStore::MacrosGroup).arg(i));
            store.setValue(MacroStore::ShortcutKey,
                           MacroStore::CtrlBit + Qt::Key_F1 + i % 12 + (i / 12) * 0x100000);
            store.setValue(MacroStore::TextKey, QStringLiteral("text of note %1").arg(i));
            store.endGroup();
        }
        store.endGroup();
    };
    writeMaster(QStringLiteral("Edited"), notes);
    for (int rest = total - notes, m = 0; rest > 0; rest -= 100, ++m)
        writeMaster(QStringLiteral("Other %1").arg(m), std::min(rest, 100));
}

void measure(int notes, int total)
{
    fillStore(notes, total);
    MainWindow window;
    QTreeWidget *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
    QTreeWidgetItem *master =
        tree->findItems(QStringLiteral("Edited"), Qt::MatchExactly, 0).value(0);
    if (!master || master->childCount() == 0) {
        std::printf("store was not loaded\n");
        return;
    }
    tree->setCurrentItem(master->child(0));
    auto *editor = window.findChild<QTextEdit *>(QStringLiteral("macro"));
    editor->moveCursor(QTextCursor::End);

    std::vector<double> ms;
    ms.reserve(Keystrokes);
    QElapsedTimer timer;
    for (int i = 0; i < Keystrokes; ++i) {
        timer.start();
        editor->insertPlainText(QStringLiteral("x")); // textChanged -> macroDirty
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("master macro of %5d notes, %6d notes in the store: mean %.3f ms, median %.3f "
                "ms, max %.3f ms per keystroke (%d keystrokes)\n",
                notes, total, sum / ms.size(), ms[ms.size() / 2], ms.back(), Keystrokes);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Its own settings, instance key and a quiet local update server, as the tests have.
    TestEnvironment environment;

    measure(10, 10);
    measure(1000, 1000);
    measure(10, 10000);
    measure(1000, 10000);
    return 0;
}
