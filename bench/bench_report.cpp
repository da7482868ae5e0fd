// Prints how long the "all master macros" report takes to build and to print for a large store,
// and how big it is. Runs on a store of its own in a temporary folder.
#include "print/report.h"
#include "store/macrostore.h"

#include <cstdio>
#include <QApplication>
#include <QElapsedTimer>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("KeyquillBench"));
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());

    const int masters = 20;
    const int notesPerMaster = 50;
    {
        QSettings store;
        const QString text =
            QStringLiteral("Line of a note with <markup> & 100%2 signs.\n").repeated(5);
        for (int m = 0; m < masters; ++m)
            for (int n = 0; n < notesPerMaster; ++n) {
                const QString group = QStringLiteral("%1/M%2/%3/N%4")
                                          .arg(MacroStore::MasterMacrosGroup)
                                          .arg(m)
                                          .arg(MacroStore::MacrosGroup)
                                          .arg(n);
                store.setValue(group + QLatin1Char('/') + MacroStore::TextKey, text);
                store.setValue(group + QLatin1Char('/') + MacroStore::ShortcutKey,
                               MacroStore::CtrlBit | (Qt::Key_A + n % 26));
            }
    }

    QElapsedTimer timer;
    timer.start();
    const QString html = Report::allMasterMacrosPage();
    const qint64 buildMs = timer.elapsed();

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("report.pdf")));
    timer.restart();
    Report::render(html, &printer);
    const qint64 printMs = timer.elapsed();

    std::printf("report of %d master macros x %d notes: %lld characters of HTML\n", masters,
                notesPerMaster, static_cast<long long>(html.size()));
    std::printf("build from store: %lld ms\n", static_cast<long long>(buildMs));
    std::printf("lay out and print to PDF: %lld ms\n", static_cast<long long>(printMs));
    return 0;
}
