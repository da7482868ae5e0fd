// Import of master macro files and the export command.
#include "mainwindow/mainwindow.h"
#include "ui_mainwindow.h"

#include "exchange/exportdlg.h"
#include "exchange/masterimporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QSet>

void MainWindow::importMasterMacro()
{
    const QString caption = tr("Import Master Macro");
    const QString filter = tr("Master Macro Files (*.mmacro)");
    const QString path = m_importFileRequest
                             ? m_importFileRequest(this, caption, filter)
                             : QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (path.isEmpty())
        return;

    // The clash test ignores letter case, as findItems(MatchFixedString) does; a set of the
    // folded names keeps a file of many master macros from a search of the tree per name.
    QSet<QString> names;
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i)
        names.insert(ui->treeMacros->topLevelItem(i)->text(0).toCaseFolded());
    MasterMacroImporter::TreeSide tree;
    tree.masterExists = [&names](const QString &name) {
        return names.contains(name.toCaseFolded());
    };
    tree.askNewName = [this, caption](const QString &candidate) {
        bool ok = false;
        const QString name = QInputDialog::getText(
            this, caption,
            tr("Master Macro with name \"%1\" exists. Enter new Master Macro name").arg(candidate),
            QLineEdit::Normal, candidate, &ok);
        return ok ? name : QString();
    };
    tree.addMaster = [this, &names](const QString &name) {
        names.insert(name.toCaseFolded());
        return addMasterMacroItem(name);
    };
    tree.addNote = [this](QTreeWidgetItem *master, const QString &name,
                          const QString &shortcutText) { addNoteItem(master, name, shortcutText); };

    MasterMacroImporter importer(tree);
    switch (importer.run(path)) {
    case MasterMacroImporter::Outcome::Unreadable:
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             tr("The file \"%1\" could not be read as a Master Macro file.")
                                 .arg(QDir::toNativeSeparators(path)));
        break;
    case MasterMacroImporter::Outcome::NotSaved:
        qDeleteAll(importer.addedMasters());
        storeWriteFailed(
            tr("The Master Macros of \"%1\" were not imported").arg(QDir::toNativeSeparators(path)),
            importer.storeFileName());
        break;
    case MasterMacroImporter::Outcome::Finished:
    case MasterMacroImporter::Outcome::Stopped:
        break;
    }
}

void MainWindow::exportMasterMacro()
{
    ExportDlg dialog(nullptr);
    dialog.exec();
}
