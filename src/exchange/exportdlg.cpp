#include "exportdlg.h"
#include "ui_exportdlg.h"

#include "exchange/masterexporter.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>

ExportDlg::ExportDlg(MacroStore &store, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ExportDlg>()), m_store(store), m_dialogs(dialogs)
{
    ui->setupUi(this);
    m_items = std::make_unique<MacroTreeItems>(ui->treeMacros);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &ExportDlg::macroCheckStateChanged);
    loadTree();
}

ExportDlg::~ExportDlg() = default;

void ExportDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void ExportDlg::loadTree()
{
    ui->treeMacros->clear();
    const QList<MacroStore::Outline> masters = m_store.outline();
    for (const MacroStore::Outline &master : masters) {
        // Items are filled before they join the tree, so loading reports no state changes.
        QTreeWidgetItem *masterItem = m_items->newMasterItem(master.name);
        masterItem->setCheckState(0, Qt::Checked);
        for (const QString &note : master.notes) {
            QTreeWidgetItem *noteItem = m_items->newNoteItem(masterItem, note);
            noteItem->setCheckState(0, Qt::Checked);
            noteItem->setCheckState(1, Qt::Checked);
        }
        ui->treeMacros->addTopLevelItem(masterItem);
    }
    ui->treeMacros->expandAll();
    ui->treeMacros->resizeColumnToContents(0);
    ui->treeMacros->resizeColumnToContents(1);
}

void ExportDlg::macroCheckStateChanged(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const Qt::CheckState state = item->checkState(0);
    if (QTreeWidgetItem *master = item->parent()) {
        // Unchecking a note leaves its master macro alone.
        if (state == Qt::Checked)
            master->setCheckState(0, Qt::Checked);
        return;
    }
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *note = item->child(i);
        note->setCheckState(0, state);
        note->setCheckState(1, state);
    }
}

void ExportDlg::setAllMasterMacros(Qt::CheckState state)
{
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i)
        ui->treeMacros->topLevelItem(i)->setCheckState(0, state);
    ui->treeMacros->redraw();
}

void ExportDlg::on_btnSelectAll_clicked()
{
    setAllMasterMacros(Qt::Checked);
}

void ExportDlg::on_btnDeselectAll_clicked()
{
    setAllMasterMacros(Qt::Unchecked);
}

void ExportDlg::accept()
{
    const QString path = m_dialogs.saveFileName(this, tr("Export Master Macros"),
                                                tr("Master Macros Files (*.mmacro)"));
    if (path.isEmpty())
        return;
    QList<MasterMacroExporter::Master> chosen;
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *masterItem = ui->treeMacros->topLevelItem(i);
        if (masterItem->checkState(0) != Qt::Checked)
            continue;
        MasterMacroExporter::Master master{masterItem->text(0), {}};
        for (int j = 0; j < masterItem->childCount(); ++j) {
            const QTreeWidgetItem *note = masterItem->child(j);
            if (note->checkState(0) == Qt::Checked)
                master.notes.append({note->text(0), note->checkState(1) == Qt::Checked});
        }
        chosen.append(master);
    }
    if (!MasterMacroExporter(m_store).write(path, chosen)) {
        // The dialog stays open with its selection, so the user can pick another file.
        m_dialogs.warning(this, QCoreApplication::applicationName(),
                          tr("The Master Macros could not be written to \"%1\".")
                              .arg(QDir::toNativeSeparators(path)));
        return;
    }
    QDialog::accept();
}
