#include "exportdlg.h"
#include "ui_exportdlg.h"

#include "store/macrostore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <utility>

ExportDlg::ExportDlg(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ExportDlg>()),
      m_masterMacroIcon(QStringLiteral(":/images/icon_master_macro.png")),
      m_noteIcon(QStringLiteral(":/images/icon_macro.png"))
{
    ui->setupUi(this);
    connect(ui->treeMacros, &CheckTreeWidget::itemCheckStateChanged, this,
            &ExportDlg::macroCheckStateChanged);
    loadTree();
}

ExportDlg::~ExportDlg() = default;

void ExportDlg::setFileRequest(FileRequest request)
{
    m_fileRequest = std::move(request);
}

void ExportDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void ExportDlg::loadTree()
{
    ui->treeMacros->clear();
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    const QStringList masters = store.childGroups();
    for (const QString &master : masters) {
        // Items are filled before they join the tree, so loading reports no state changes.
        auto *masterItem = new CheckTreeWidgetItem(QStringList{master});
        masterItem->setToolTip(0, master);
        masterItem->setIcon(0, m_masterMacroIcon);
        masterItem->setCheckState(0, Qt::Checked);
        store.beginGroup(master);
        store.beginGroup(MacroStore::MacrosGroup);
        const QStringList notes = store.childGroups();
        for (const QString &note : notes) {
            auto *noteItem = new CheckTreeWidgetItem(masterItem, QStringList{note});
            noteItem->setToolTip(0, note);
            noteItem->setIcon(0, m_noteIcon);
            noteItem->setCheckState(0, Qt::Checked);
            noteItem->setCheckState(1, Qt::Checked);
        }
        store.endGroup();
        store.endGroup();
        ui->treeMacros->addTopLevelItem(masterItem);
    }
    store.endGroup();

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
    ui->treeMacros->setVisible(false);
    ui->treeMacros->setVisible(true);
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
    const QString caption = tr("Export Master Macros");
    const QString filter = tr("Master Macros Files (*.mmacro)");
    const QString path = m_fileRequest
                             ? m_fileRequest(this, caption, filter)
                             : QFileDialog::getSaveFileName(this, caption, QString(), filter);
    if (path.isEmpty())
        return;
    if (isStoreFile(path) || !writeFile(path)) {
        // The dialog stays open with its selection, so the user can pick another file.
        QMessageBox::warning(this, QCoreApplication::applicationName(),
                             tr("The Master Macros could not be written to \"%1\".")
                                 .arg(QDir::toNativeSeparators(path)));
        return;
    }
    QDialog::accept();
}

bool ExportDlg::isStoreFile(const QString &path) const
{
    // The settings layer shares one in-memory copy per file, so clearing the target would
    // clear the macro store itself if the user picked its file.
    const QString storeFile = QFileInfo(QSettings().fileName()).canonicalFilePath();
    return !storeFile.isEmpty() && QFileInfo(path).canonicalFilePath() == storeFile;
}

bool ExportDlg::writeFile(const QString &path) const
{
    {
        // A status, once set, sticks to its settings object: an old file the settings layer
        // cannot parse would leave a format error that hides the outcome of our own write.
        // Empty such a file through a throwaway object first.
        QSettings previous(path, QSettings::IniFormat);
        if (previous.status() == QSettings::FormatError) {
            previous.clear();
            previous.sync();
        }
    }

    QSettings file(path, QSettings::IniFormat);
    file.clear();
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *masterItem = ui->treeMacros->topLevelItem(i);
        if (masterItem->checkState(0) != Qt::Checked)
            continue;
        const QString master = masterItem->text(0);
        file.beginGroup(master);
        file.beginGroup(MacroStore::MacrosGroup);
        store.beginGroup(master);
        store.beginGroup(MacroStore::MacrosGroup);
        for (int j = 0; j < masterItem->childCount(); ++j) {
            const QTreeWidgetItem *noteItem = masterItem->child(j);
            if (noteItem->checkState(0) != Qt::Checked)
                continue;
            const QString note = noteItem->text(0);
            file.beginGroup(note);
            store.beginGroup(note);
            file.setValue(MacroStore::ShortcutKey, MacroStore::readCode(store));
            if (noteItem->checkState(1) == Qt::Checked)
                file.setValue(MacroStore::TextKey, MacroStore::readText(store));
            store.endGroup();
            file.endGroup();
        }
        store.endGroup();
        store.endGroup();
        file.endGroup();
        file.endGroup();
    }
    store.endGroup();

    // Left to itself the settings layer writes when the object goes away, and the outcome goes
    // with it; writing now lets us see a failure while the user can still be told.
    file.sync();
    return file.status() == QSettings::NoError;
}
