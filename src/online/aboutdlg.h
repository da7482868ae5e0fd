#pragma once

#include <memory>
#include <QDialog>
#include <QString>

class QEvent;
class QUrl;

namespace Ui {
class AboutDlg;
}

// Product name, author, version and a short description; its links leave through the system.
class AboutDlg final : public QDialog
{
    Q_OBJECT

public:
    // `hotKeys` says which hot keys are in use, or why none can work.
    explicit AboutDlg(const QString &hotKeys = QString(), QWidget *parent = nullptr);
    ~AboutDlg() override;

protected:
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void adsLinkClicked(const QUrl &url);

private:
    std::unique_ptr<Ui::AboutDlg> ui;
};
