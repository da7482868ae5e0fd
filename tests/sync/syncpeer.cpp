// One Keyquill of the two-machine test: its own settings folder and instance key
// (TestEnvironment), its master macros in the folder named on the command line, a main window
// offscreen. Lines on standard input: "save<TAB>master<TAB>note<TAB>text" saves a note as the
// editor does and answers "saved" or "refused"; "dump" answers the tree's rows in one line
// ("master/note|text;..."). Questions are answered OK (conflict copies are brought in).
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "mainwindow/mainwindow.h"
#include "store/preferences.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTreeWidget>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    if (argc < 2 || !Preferences::saveStoreFolder(QString::fromLocal8Bit(argv[1])))
        return 2;
    FakePlatform platform;
    ScriptedDialogs dialogs;
    MainWindow window(platform, &dialogs);
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));

    const auto answer = [](const QByteArray &line) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
            return QCoreApplication::exit(0);
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QStringList parts = QString::fromUtf8(pending.left(end)).split(QLatin1Char('\t'));
            pending.remove(0, end + 1);
            if (parts.first() == QLatin1String("save") && parts.size() == 4) {
                answer(window.store().saveNote(parts.at(1), parts.at(2), 0, parts.at(3))
                           ? "saved"
                           : "refused");
            } else if (parts.first() == QLatin1String("dump")) {
                QStringList rows;
                for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                    const QTreeWidgetItem *master = tree->topLevelItem(i);
                    for (int j = 0; j < master->childCount(); ++j) {
                        const QString note = master->child(j)->text(0);
                        rows << master->text(0) + QLatin1Char('/') + note + QLatin1Char('|') +
                                    window.store().note(master->text(0), note).text;
                    }
                }
                answer(rows.join(QLatin1Char(';')).toUtf8());
            }
        }
    });
    return QApplication::exec();
}
