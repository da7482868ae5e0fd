#pragma once

#include <memory>
#include <QDialog>
#include <QList>

class ImportBatch;
class QComboBox;

namespace Ui {
class ImportSummaryDlg;
}

// Shows what an import from another program's file would add, before anything is written: the
// counts, the first notes as they would come in, and for a CSV table its first rows with a
// choice of what each column holds (the notes are made anew on every change). "Import" goes on,
// Cancel leaves the store as it is.
class ImportSummaryDlg final : public QDialog
{
    Q_OBJECT

public:
    ImportSummaryDlg(const QString &file, ImportBatch &batch, QWidget *parent);
    ~ImportSummaryDlg() override;

    static constexpr int ShownRows = 6;  // of a CSV table
    static constexpr int ShownNotes = 5; // as they would come in

public Q_SLOTS:
    // Answered: a CSV table's rows are let go before the store is written.
    void done(int result) override;

private:
    void showColumns();
    void showNotes();
    void chooseRole(int column);
    void chooseHeader(bool header);

    std::unique_ptr<Ui::ImportSummaryDlg> ui;
    ImportBatch &m_batch;
    QList<QComboBox *> m_roles; // above each column of the table
};
