// The commands: add, rename and delete; import and export; printing; help and the update boxes.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "buildconfig.h"
#include "editor/noteeditor.h"
#include "exchange/exportdlg.h"
#include "exchange/masterimporter.h"
#include "hotkeys/hotkeyplatform.h"
#include "mainwindow/preferencesdlg.h"
#include "online/aboutdlg.h"
#include "print/report.h"
#include "store/autostart.h"
#include "store/preferences.h"
#include "widgets/dialogs.h"
#include "widgets/macrotreeitems.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QUrl>

namespace {

// Note names are compared exactly, letter case included.
bool hasNote(const MacroStore &store, const QString &master, const QString &name)
{
    const QList<MacroStore::NoteCode> notes = store.noteCodes(master);
    return std::any_of(notes.cbegin(), notes.cend(),
                       [&name](const MacroStore::NoteCode &note) { return note.name == name; });
}

} // namespace

void MainWindow::warn(const QString &text)
{
    m_dialogs.warning(this, QCoreApplication::applicationName(), text);
}

void MainWindow::storeWriteFailed(const QString &what)
{
    warn(tr("%1: the macro store %2 cannot be written.").arg(what, m_store.fileName()));
}

void MainWindow::addMasterMacro()
{
    const QString name = m_dialogs.askNewName(
        this, tr("Add Master Macro"), tr("Enter Master Macro name"),
        [this](const QString &candidate) { return m_store.hasMaster(candidate); },
        tr("Master Macro with that name exists"));
    if (name.isEmpty())
        return;
    if (!m_store.addMaster(name))
        return storeWriteFailed(tr("The Master Macro \"%1\" was not added").arg(name));
    // Selected, so that "Add Note" and the keyboard act on it next.
    ui->treeMacros->setCurrentItem(m_items->addMaster(name));
}

void MainWindow::addMacro()
{
    QTreeWidgetItem *master = selectedItem();
    if (!master)
        return;
    if (master->parent())
        master = master->parent();
    const QString masterName = master->text(0);
    const QString name = m_dialogs.askNewName(
        this, tr("Add Note"), tr("Enter Note name"),
        [&](const QString &candidate) { return hasNote(m_store, masterName, candidate); },
        tr("Note with that name exists"));
    if (name.isEmpty())
        return;
    if (!m_store.addNote(masterName, name))
        return storeWriteFailed(tr("The Note \"%1\" was not added").arg(name));
    m_items->addNote(master, name, 0);
}

void MainWindow::renameMacro()
{
    QTreeWidgetItem *item = selectedItem();
    if (!item)
        return;
    QTreeWidgetItem *masterItem = item->parent();
    const QString master = masterItem ? masterItem->text(0) : item->text(0);
    const QString note = masterItem ? item->text(0) : QString();
    // The subject's own name counts as a clash too, in any letter case for a master macro.
    const QString name = m_dialogs.askNewName(
        this, tr("Rename Master Macro or Note"), tr("Enter new name"),
        [&](const QString &candidate) {
            return masterItem ? hasNote(m_store, master, candidate) : m_store.hasMaster(candidate);
        },
        tr("Master Macro ot Note with that name exists"));
    if (name.isEmpty())
        return;
    if (!m_store.rename(master, note, name))
        return storeWriteFailed(tr("\"%1\" was not renamed to \"%2\"").arg(item->text(0), name));
    item->setText(0, name);
    item->setToolTip(0, name);
    if (!masterItem)
        m_live.renamed(master, name);
    currentMacroChanged(ui->treeMacros->currentItem());
}

void MainWindow::deleteMacro()
{
    QTreeWidgetItem *item = selectedItem();
    if (!item)
        return;
    if (!m_dialogs.question(this, tr("Delete selected Master Macro or Note"),
                            tr("Delete selected Master Macro or Note?")))
        return;
    QTreeWidgetItem *masterItem = item->parent();
    const QString master = masterItem ? masterItem->text(0) : item->text(0);
    if (!m_store.remove(master, masterItem ? item->text(0) : QString())) {
        // Tree and hot keys stay as they are: the store still holds the item.
        return storeWriteFailed(tr("\"%1\" was not deleted").arg(item->text(0)));
    }
    if (masterItem && m_live.isLive(master))
        m_live.reload();
    else if (!masterItem)
        m_live.removed(master);
    delete item;
}

void MainWindow::importMasterMacro()
{
    const QString caption = tr("Import Master Macro");
    const QString path = m_dialogs.openFileName(this, caption, tr("Master Macro Files (*.mmacro)"));
    if (path.isEmpty())
        return;
    MasterMacroImporter importer(m_store, [this, caption](const QString &candidate) {
        QString name = candidate;
        const QString label =
            tr("Master Macro with name \"%1\" exists. Enter new Master Macro name").arg(candidate);
        return m_dialogs.getText(this, caption, label, &name) ? name : QString();
    });
    const QString file = QDir::toNativeSeparators(path);
    switch (importer.run(path)) {
    case MasterMacroImporter::Outcome::Unreadable:
        return warn(tr("The file \"%1\" could not be read as a Master Macro file.").arg(file));
    case MasterMacroImporter::Outcome::NotSaved:
        return storeWriteFailed(tr("The Master Macros of \"%1\" were not imported").arg(file));
    case MasterMacroImporter::Outcome::Finished:
    case MasterMacroImporter::Outcome::Stopped:
        break;
    }
    const QList<MacroStore::Master> imported = importer.imported();
    for (const MacroStore::Master &master : imported) {
        QTreeWidgetItem *masterItem = m_items->addMaster(master.name);
        for (const MacroStore::Note &note : master.notes)
            m_items->addNote(masterItem, note.name, note.code);
    }
}

void MainWindow::exportMasterMacro()
{
    ExportDlg dialog(m_store, m_dialogs);
    dialog.exec();
}

void MainWindow::printMasterMacro()
{
    QPrintPreviewDialog preview;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            &MainWindow::generateMasterMacroPP);
    preview.exec();
}

void MainWindow::printAllMasterMacros()
{
    QPrintPreviewDialog preview;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            &MainWindow::generateAllMasterMacrosPP);
    preview.exec();
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
    Report::render(Report::masterMacroPage(master), printer);
}

void MainWindow::generateAllMasterMacrosPP(QPrinter *printer)
{
    printer->setDocName(tr("Keyquill - All Master Macros"));
    Report::render(Report::allMasterMacrosPage(), printer);
}

void MainWindow::editPreferences()
{
    PreferencesDlg dialog(Preferences::load(), this);
    dialog.setStartAtLogin(Autostart::isEnabled());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const Preferences preferences = dialog.preferences();
    if (preferences.save()) {
        m_hotKeys.setPreferences(preferences);
        m_live.setRemembered(preferences.tickLastLiveAtStart());
    } else {
        warn(tr("The preferences were not saved: the settings file %1 cannot be written.")
                 .arg(m_store.fileName()));
    }
    const bool start = dialog.startAtLogin();
    if (start != Autostart::isEnabled() && !Autostart::setEnabled(start)) {
        const QString file = QDir::toNativeSeparators(Autostart::fileName());
        warn(start
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

void MainWindow::showUpdateAvailable()
{
    // The link names the vendor's site, where the new version is, even when the question went
    // to another server.
    m_dialogs.warning(this, tr("Update available"),
                      tr("Update available. You may download new version from our site: <a "
                         "href=\"http://%1\">%1</a>")
                          .arg(QStringLiteral(KEYQUILL_VENDOR_HOST)));
}

void MainWindow::showUpdateError(const QString &description)
{
    m_dialogs.warning(
        this, tr("Error checking for updates"),
        tr("Error occured while contacting update server.\r\n\r\nError Description:\r\n") +
            description);
}
