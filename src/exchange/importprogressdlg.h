#pragma once

#include <functional>
#include <memory>
#include <QDialog>
#include <QTimer>

class ImportBatch;
class ImportProgress;

namespace Ui {
class ImportProgressDlg;
}

// Reads an imported file in a worker thread while the window stays live, and shows how far the
// reading has come once it takes a moment; Cancel stops it, and nothing is imported then.
class ImportProgressDlg final : public QDialog
{
    Q_OBJECT

public:
    using Reading = std::function<void(ImportBatch &batch)>;

    // Runs `reading` in a worker thread on a batch with the limits of `batch`, then hands the
    // batch back; false when the user cancelled.
    static bool run(const QString &file, const Reading &reading, QWidget *parent,
                    ImportBatch *batch);

    // A reading shorter than this shows nothing.
    static constexpr int ShowAfterMs = 400;

    ~ImportProgressDlg() override;

public Q_SLOTS:
    // Cancel: the dialog stays up, saying so, until the reading has stopped.
    void reject() override;

private:
    ImportProgressDlg(const QString &file, ImportProgress &progress, QWidget *parent);
    void showProgress();

    std::unique_ptr<Ui::ImportProgressDlg> ui;
    ImportProgress &m_progress;
    QString m_file;
    QTimer m_tick;
};
