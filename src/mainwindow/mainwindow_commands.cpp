// The commands: add, rename, delete and import (MacroCommands does them); export; printing;
// preferences; help.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "buildconfig.h"
#include "editor/noteeditor.h"
#include "exchange/exportdlg.h"
#include "hotkeys/hotkeyplatform.h"
#include "mainwindow/macrocommands.h"
#include "mainwindow/preferencesdlg.h"
#include "online/aboutdlg.h"
#include "print/report.h"
#include "store/autostart.h"
#include "store/preferences.h"
#include "widgets/dialogs.h"
#include "widgets/heaprelease.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QUrl>

void MainWindow::addMasterMacro()
{
    m_commands->addMasterMacro();
}

void MainWindow::addMacro()
{
    m_commands->addNote();
}

void MainWindow::renameMacro()
{
    if (m_commands->rename())
        currentMacroChanged(ui->treeMacros->currentItem());
}

void MainWindow::deleteMacro()
{
    m_commands->remove();
}

void MainWindow::importMasterMacro()
{
    m_commands->import();
}

void MainWindow::exportMasterMacro()
{
    ExportDlg dialog(m_store, m_dialogs);
    dialog.exec();
}

void MainWindow::printMasterMacro()
{
    {
        QPrintPreviewDialog preview;
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                &MainWindow::generateMasterMacroPP);
        preview.exec();
    }
    // The preview's pages are gone, but not from the process's memory unless given back.
    HeapRelease::release();
}

void MainWindow::printAllMasterMacros()
{
    {
        QPrintPreviewDialog preview;
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                &MainWindow::generateAllMasterMacrosPP);
        preview.exec();
    }
    HeapRelease::release();
}

void MainWindow::generateMasterMacroPP(QPrinter *printer)
{
    // A selected note prints its whole master macro.
    QTreeWidgetItem *item = selectedItem();
    if (!item)
        return;
    const QString master = item->parent() ? item->parent()->text(0) : item->text(0);
    // The name the print queue shows for the job.
    printer->setDocName(tr("Keyquill - %1").arg(master));
    Report::printMasterMacro(master, printer);
}

void MainWindow::generateAllMasterMacrosPP(QPrinter *printer)
{
    printer->setDocName(tr("Keyquill - All Master Macros"));
    Report::printAllMasterMacros(printer);
}

void MainWindow::editPreferences()
{
    PreferencesDlg dialog(Preferences::load(), this);
    dialog.setStartAtLogin(Autostart::isEnabled());
    dialog.setPasteKeysHonoured(m_platform.namesFocusedProgram());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const Preferences preferences = dialog.preferences();
    if (preferences.save()) {
        m_hotKeys.setPreferences(preferences);
        m_live.setRemembered(preferences.tickLastLiveAtStart());
    } else {
        m_commands->warn(
            tr("The preferences were not saved: the settings file %1 cannot be written.")
                .arg(m_store.fileName()));
    }
    m_follower->moveTo(dialog.storeFolder());
    const bool start = dialog.startAtLogin();
    // Written again when on: the entry then names the program where it is now.
    if (!Autostart::setEnabled(start)) {
        const QString file = QDir::toNativeSeparators(Autostart::fileName());
        m_commands->warn(
            start
                ? tr("Keyquill will not start at log-in: the file %1 cannot be written.").arg(file)
                : tr("Keyquill still starts at log-in: the file %1 cannot be removed.").arg(file));
    }
}

void MainWindow::helpAbout()
{
    AboutDlg dialog(m_platform.description());
    dialog.exec();
}

void MainWindow::helpInstructions()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("http://" KEYQUILL_VENDOR_HOST "/corvane_key_quill.php")));
}
