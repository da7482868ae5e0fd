#include "exportdlg.h"
#include "ui_exportdlg.h"

#include "exchange/legacyini.h"
#include "store/macrostore.h"
#include "widgets/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <cstdio>
#endif

namespace {

// A name next to the target that no settings object of this process has used: the settings
// layer keeps what it could not write in memory under the file's name, so a name must never
// come back.
QString freshSiblingName(const QString &target)
{
    static int counter = 0;
    QString name;
    do {
        name = target +
               QStringLiteral(".kq-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    } while (QFileInfo::exists(name) || QFileInfo(name).isSymLink());
    return name;
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_UNIX
    // Replaces the target in one step: a reader sees the old file or the new one.
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#else
    // Qt's own rename does not replace a file; for a moment there is no target here.
    QFile::remove(to);
    return QFile::rename(from, to);
#endif
}

} // namespace

ExportDlg::ExportDlg(MacroStore &store, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ExportDlg>()),
      m_masterMacroIcon(QStringLiteral(":/images/icon_master_macro.png")),
      m_noteIcon(QStringLiteral(":/images/icon_macro.png")), m_store(store), m_dialogs(dialogs)
{
    ui->setupUi(this);
    // Every row has the same height: the view need not ask each of thousands of rows.
    ui->treeMacros->setUniformRowHeights(true);
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
    const QList<MacroStore::Outline> masters = m_store.outline(false);
    for (const MacroStore::Outline &master : masters) {
        // Items are filled before they join the tree, so loading reports no state changes.
        auto *masterItem = new CheckTreeWidgetItem(QStringList{master.name});
        masterItem->setToolTip(0, master.name);
        masterItem->setIcon(0, m_masterMacroIcon);
        masterItem->setCheckState(0, Qt::Checked);
        for (const MacroStore::NoteCode &note : master.notes) {
            auto *noteItem = new CheckTreeWidgetItem(masterItem, QStringList{note.name});
            noteItem->setToolTip(0, note.name);
            noteItem->setIcon(0, m_noteIcon);
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
    const QString path = m_dialogs.saveFileName(this, caption, filter);
    if (path.isEmpty())
        return;
    if (isStoreFile(path) || !writeFile(path)) {
        // The dialog stays open with its selection, so the user can pick another file.
        m_dialogs.warning(this, QCoreApplication::applicationName(),
                          tr("The Master Macros could not be written to \"%1\".")
                              .arg(QDir::toNativeSeparators(path)));
        return;
    }
    QDialog::accept();
}

bool ExportDlg::isStoreFile(const QString &path) const
{
    // Putting an export in the place of the store's own file would replace the user's macros
    // with a selection of them.
    const QString storeFile = QFileInfo(m_store.fileName()).canonicalFilePath();
    return !storeFile.isEmpty() && QFileInfo(path).canonicalFilePath() == storeFile;
}

bool ExportDlg::writeFile(const QString &path) const
{
    // The export is written to a file of its own and takes the target's place only once it is
    // all on disk. A failed write then leaves the target untouched, and nothing unwritten stays
    // in the settings layer's memory under the target's name for the next reader of it.
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        return false; // a folder, or a file made read-only
    // A link is followed: the file it points to is replaced, not the link.
    const QString target = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QString temporary = freshSiblingName(target);
    bool written = false;
    {
        QSettings file(temporary, QSettings::IniFormat);
        writeEntries(file);
        // Left to itself the settings layer writes when the object goes away, and the outcome
        // goes with it.
        file.sync();
        written = file.status() == QSettings::NoError;
    }
    if (written)
        written = LegacyIni::escapeValuesInFile(temporary); // readable by older readers too
    // New files get the settings layer's mode; a replaced one keeps the mode its owner gave it.
    if (written && info.exists())
        written = QFile::setPermissions(temporary, QFile::permissions(target));
    if (written)
        written = replaceFile(temporary, target);
    if (!written)
        QFile::remove(temporary);
    return written;
}

void ExportDlg::writeEntries(QSettings &file) const
{
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *masterItem = ui->treeMacros->topLevelItem(i);
        if (masterItem->checkState(0) != Qt::Checked)
            continue;
        const QString master = masterItem->text(0);
        QHash<QString, MacroStore::Note> stored;
        const QList<MacroStore::Note> notes = m_store.notes(master);
        for (const MacroStore::Note &note : notes)
            stored.insert(note.name, note);
        file.beginGroup(master);
        file.beginGroup(MacroStore::MacrosGroup);
        for (int j = 0; j < masterItem->childCount(); ++j) {
            const QTreeWidgetItem *noteItem = masterItem->child(j);
            if (noteItem->checkState(0) != Qt::Checked)
                continue;
            const MacroStore::Note note = stored.value(noteItem->text(0));
            file.beginGroup(noteItem->text(0));
            file.setValue(MacroStore::ShortcutKey, note.code);
            if (noteItem->checkState(1) == Qt::Checked)
                file.setValue(MacroStore::TextKey, note.text);
            file.endGroup();
        }
        file.endGroup();
        file.endGroup();
    }
}
