#include "importprogressdlg.h"

#include "importbatch.h"
#include "importfile.h"
#include "importprogress.h"
#include "ui_importprogressdlg.h"

#include <QEventLoop>
#include <QPushButton>
#include <QThread>

ImportProgressDlg::ImportProgressDlg(const QString &file, ImportProgress &progress, QWidget *parent)
    : QDialog(parent), ui(new Ui::ImportProgressDlg), m_progress(progress), m_file(file)
{
    ui->setupUi(this);
    connect(&m_tick, &QTimer::timeout, this, &ImportProgressDlg::showProgress);
    m_tick.start(100);
    showProgress();
}

ImportProgressDlg::~ImportProgressDlg() = default;

bool ImportProgressDlg::run(const QString &file, const Reading &reading, QWidget *parent,
                            ImportBatch *batch)
{
    ImportProgress progress;
    ImportBatch read;
    read.setLimits(batch->limits());
    read.setProgress(&progress);
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&read, &reading] { reading(read); }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    ImportProgressDlg dialog(file, progress, parent);
    QTimer::singleShot(ShowAfterMs, &dialog, &QDialog::open);
    worker->start();
    loop.exec();
    // The loop also ends when the program does: the reading is not waited for then.
    if (worker->isRunning()) {
        progress.cancel();
        worker->wait();
    }
    read.setProgress(nullptr);
    ImportFile::releaseFreedMemory();
    if (progress.cancelled())
        return false;
    *batch = std::move(read);
    return true;
}

void ImportProgressDlg::reject()
{
    m_progress.cancel();
    showProgress();
}

void ImportProgressDlg::showProgress()
{
    const qint64 total = m_progress.total();
    QString heading;
    if (m_progress.cancelled())
        heading = tr("Cancelling…");
    else if (m_progress.stage() == ImportProgress::Stage::Converting)
        heading = tr("Making notes of what \"%1\" holds…");
    else
        heading = tr("Reading \"%1\"…");
    ui->heading->setText(heading.arg(m_file));
    ui->buttons->button(QDialogButtonBox::Cancel)->setEnabled(!m_progress.cancelled());
    // A total not known beforehand (a folder) shows a busy bar.
    ui->bar->setMaximum(total > 0 ? 1000 : 0);
    if (total > 0)
        ui->bar->setValue(
            static_cast<int>(std::min<qint64>(m_progress.done(), total) * 1000 / total));
}
