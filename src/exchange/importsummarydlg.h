#pragma once

#include <memory>
#include <QDialog>

struct ImportSummary;

namespace Ui {
class ImportSummaryDlg;
}

// Shows what an import from another program's file would add, before anything is written;
// "Import" goes on, Cancel leaves the store as it is.
class ImportSummaryDlg final : public QDialog
{
    Q_OBJECT

public:
    ImportSummaryDlg(const QString &file, const ImportSummary &summary, QWidget *parent);
    ~ImportSummaryDlg() override;

private:
    std::unique_ptr<Ui::ImportSummaryDlg> ui;
};
