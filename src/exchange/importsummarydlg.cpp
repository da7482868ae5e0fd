#include "importsummarydlg.h"

#include "importsummary.h"
#include "ui_importsummarydlg.h"

#include <QPushButton>

ImportSummaryDlg::ImportSummaryDlg(const QString &file, const ImportSummary &summary,
                                   QWidget *parent)
    : QDialog(parent), ui(new Ui::ImportSummaryDlg)
{
    ui->setupUi(this);
    ui->heading->setText(ui->heading->text().arg(file));
    ui->summary->setPlainText(summary.lines().join(QLatin1Char('\n')));
    ui->buttons->button(QDialogButtonBox::Ok)->setText(tr("Import"));
    // Nothing to add: only Cancel is left to press.
    ui->buttons->button(QDialogButtonBox::Ok)->setEnabled(summary.notes > 0);
}

ImportSummaryDlg::~ImportSummaryDlg() = default;
