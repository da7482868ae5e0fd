#include "importsummarydlg.h"

#include "csvreader.h"
#include "importbatch.h"
#include "importsummary.h"
#include "ui_importsummarydlg.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QScrollBar>

namespace {

using Role = CsvLayout::Role;

// A cell or a text on one line, cut short: enough to tell a text from a name.
QString shown(const QString &text)
{
    constexpr qsizetype Shown = 80;
    QString line = text.left(Shown + 1);
    line.replace(QLatin1Char('\n'), QChar(0x21b5)).replace(QLatin1Char('\r'), QString());
    return line.size() > Shown ? line.left(Shown) + QChar(0x2026) : line;
}

} // namespace

ImportSummaryDlg::ImportSummaryDlg(const QString &file, ImportBatch &batch, QWidget *parent)
    : QDialog(parent), ui(new Ui::ImportSummaryDlg), m_batch(batch)
{
    ui->setupUi(this);
    ui->heading->setText(ui->heading->text().arg(file));
    ui->buttons->button(QDialogButtonBox::Ok)->setText(tr("Import"));
    ui->columnsBox->setVisible(batch.table() != nullptr);
    if (batch.table()) {
        showColumns();
        connect(ui->headerRow, &QCheckBox::toggled, this, &ImportSummaryDlg::chooseHeader);
    }
    showNotes();
}

ImportSummaryDlg::~ImportSummaryDlg() = default;

void ImportSummaryDlg::done(int result)
{
    m_batch.setTable(nullptr);
    QDialog::done(result);
}

void ImportSummaryDlg::showColumns()
{
    const CsvTable &table = *m_batch.table();
    const QList<Role> &roles = table.layout.roles;
    const QList<std::pair<Role, QString>> choices = {
        {Role::None, tr("(not imported)")}, {Role::Name, tr("Name")},
        {Role::Text, tr("Text")},           {Role::Master, tr("Master Macro")},
        {Role::HotKey, tr("Hot key")},      {Role::Abbreviation, tr("Abbreviation")}};
    const qsizetype rows = std::min<qsizetype>(table.rows.size(), ShownRows);
    ui->columns->setColumnCount(static_cast<int>(roles.size()));
    ui->columns->setRowCount(static_cast<int>(rows) + 1);
    QStringList lines{QString()};
    for (qsizetype r = 0; r < rows; ++r) {
        const QStringList &fields = table.rows.at(r).fields;
        for (int c = 0; c < roles.size() && c < fields.size(); ++c) {
            auto *item = new QTableWidgetItem(shown(fields.at(c)));
            item->setToolTip(fields.at(c).left(1000));
            ui->columns->setItem(static_cast<int>(r) + 1, c, item);
        }
        lines << QString::number(table.rows.at(r).line);
    }
    ui->columns->setVerticalHeaderLabels(lines);
    for (int c = 0; c < roles.size(); ++c) {
        auto *combo = new QComboBox(ui->columns);
        combo->setObjectName(QStringLiteral("column%1").arg(c + 1));
        for (const auto &[role, name] : choices)
            combo->addItem(name, static_cast<int>(role));
        combo->setCurrentIndex(combo->findData(static_cast<int>(roles.at(c))));
        connect(combo, &QComboBox::currentIndexChanged, this, [this, c] { chooseRole(c); });
        ui->columns->setCellWidget(0, c, combo);
        m_roles.append(combo);
    }
    ui->columns->resizeColumnsToContents();
    ui->columns->resizeRowsToContents();
    ui->columns->setMaximumHeight(ui->columns->verticalHeader()->length() +
                                  ui->columns->horizontalScrollBar()->sizeHint().height() +
                                  2 * ui->columns->frameWidth());
    ui->headerRow->setChecked(table.layout.header);
    chooseHeader(table.layout.header);
}

void ImportSummaryDlg::chooseRole(int column)
{
    CsvLayout &layout = m_batch.table()->layout;
    layout.setRole(column, static_cast<Role>(m_roles.at(column)->currentData().toInt()));
    // The column that held the role before holds nothing now.
    for (int c = 0; c < m_roles.size(); ++c) {
        const QSignalBlocker quiet(m_roles.at(c));
        m_roles.at(c)->setCurrentIndex(
            m_roles.at(c)->findData(static_cast<int>(layout.roles.at(c))));
    }
    CsvReader::convert(m_batch);
    showNotes();
}

void ImportSummaryDlg::chooseHeader(bool header)
{
    m_batch.table()->layout.header = header;
    for (int c = 0; c < ui->columns->columnCount(); ++c) {
        if (QTableWidgetItem *item = ui->columns->item(1, c)) {
            QFont font = item->font();
            font.setBold(header);
            item->setFont(font);
        }
    }
    CsvReader::convert(m_batch);
    showNotes();
}

void ImportSummaryDlg::showNotes()
{
    const ImportSummary summary = m_batch.summary();
    ui->summary->setPlainText(summary.lines().join(QLatin1Char('\n')));
    ui->noText->setVisible(m_batch.table() && m_batch.table()->layout.column(Role::Text) < 0);
    ui->preview->clear();
    const QList<MacroStore::Master> masters = m_batch.masters();
    for (qsizetype m = 0; m < masters.size() && ui->preview->topLevelItemCount() < ShownNotes;
         ++m) {
        const QList<MacroStore::Note> &notes = masters.at(m).notes;
        for (qsizetype n = 0; n < notes.size() && ui->preview->topLevelItemCount() < ShownNotes;
             ++n) {
            const MacroStore::Note &note = notes.at(n);
            const QString keys =
                note.code ? QKeySequence(note.code).toString(QKeySequence::NativeText) : QString();
            auto *item = new QTreeWidgetItem(ui->preview, {masters.at(m).name, note.name, keys,
                                                           note.abbreviation, shown(note.text)});
            item->setToolTip(4, note.text.left(1000));
        }
    }
    for (int c = 0; c < ui->preview->columnCount(); ++c)
        ui->preview->resizeColumnToContents(c);
    // Nothing to add: only Cancel is left to press.
    ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(summary.notes > 0);
}
