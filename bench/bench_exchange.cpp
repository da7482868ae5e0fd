// Export and import of 100 master macros of 100 notes each, texts of a few hundred characters.
// Prints the figures; it never passes or fails on time.
#include "exchange/exportdlg.h"
#include "exchange/masterimporter.h"
#include "store/macrostore.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <vector>

namespace {

constexpr int Masters = 100;
constexpr int NotesPerMaster = 100;
constexpr int Rounds = 5;

QString noteText(int master, int note)
{
    // About 350 characters with a line break, punctuation and non-ASCII letters, as a real
    // signature or canned answer has.
    QString text = QStringLiteral("Dear customer %1-%2,\nthank you for your message; we will "
                                  "answer within two days. Kind regards, Se\u00f1or M\u00fcller "
                                  "(support@example.com) \u20ac 100% \"quoted\" = ok. ")
                       .arg(master)
                       .arg(note);
    while (text.size() < 350)
        text += QStringLiteral("Lorem ipsum dolor sit amet. ");
    return text;
}

void fillStore()
{
    QSettings store;
    store.clear();
    store.beginGroup(MacroStore::MasterMacrosGroup);
    for (int m = 0; m < Masters; ++m) {
        for (int n = 0; n < NotesPerMaster; ++n) {
            store.beginGroup(QStringLiteral("Master %1/Macros/Note %2").arg(m).arg(n));
            store.setValue(MacroStore::ShortcutKey,
                           MacroStore::buildCode(true, n % 2, false, Qt::Key_A + n % 26));
            store.setValue(MacroStore::TextKey, noteText(m, n));
            store.endGroup();
        }
    }
    store.endGroup();
    store.sync();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder, as the tests have
    const QString path = environment.configDir() + QStringLiteral("/bench.mmacro");

    std::vector<double> dialogTimes, exportTimes, importTimes;
    int imported = 0;
    for (int round = 0; round < Rounds; ++round) {
        fillStore();

        QElapsedTimer timer;
        timer.start();
        MacroStore store;
        ScriptedDialogs dialogs;
        ExportDlg dialog(store, dialogs);
        dialogTimes.push_back(timer.nsecsElapsed() / 1e6);
        dialogs.files = {path};
        timer.restart();
        dialog.accept(); // reads the store and writes the file, sync included
        exportTimes.push_back(timer.nsecsElapsed() / 1e6);
        if (dialog.result() != QDialog::Accepted) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }

        {
            QSettings settings;
            settings.clear();
            settings.sync();
        }
        timer.restart();
        MasterMacroImporter importer(store, [](const QString &) { return QString(); });
        importer.run(path);
        importTimes.push_back(timer.nsecsElapsed() / 1e6);
        imported = 0;
        const QList<MacroStore::Master> masters = importer.imported();
        for (const MacroStore::Master &master : masters)
            imported += int(master.notes.size());
    }

    std::printf("master macros %d, notes %d, file %.1f MB, notes imported %d\n", Masters,
                Masters * NotesPerMaster, QFileInfo(path).size() / 1e6, imported);
    std::printf("export dialog load  median %7.1f ms  (min %.1f)\n", median(dialogTimes),
                *std::min_element(dialogTimes.begin(), dialogTimes.end()));
    std::printf("export write (OK)   median %7.1f ms  (min %.1f)\n", median(exportTimes),
                *std::min_element(exportTimes.begin(), exportTimes.end()));
    std::printf("import              median %7.1f ms  (min %.1f)\n", median(importTimes),
                *std::min_element(importTimes.begin(), importTimes.end()));
    return imported == Masters * NotesPerMaster ? 0 : 1;
}
