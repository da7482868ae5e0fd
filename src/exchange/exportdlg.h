#pragma once

#include <memory>
#include <QDialog>
#include <QIcon>

class Dialogs;
class MacroStore;
class QEvent;
class QSettings;
class QTreeWidgetItem;

namespace Ui {
class ExportDlg;
}

// Lists every master macro and note of the store with check boxes (column 1: whether the note's
// text goes along) and, on OK, writes the chosen ones to a master macro file.
class ExportDlg final : public QDialog
{
    Q_OBJECT

public:
    // The file name and the warnings go through `dialogs`.
    ExportDlg(MacroStore &store, Dialogs &dialogs, QWidget *parent = nullptr);
    ~ExportDlg() override;

public Q_SLOTS:
    void accept() override;

protected:
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_btnDeselectAll_clicked();
    void on_btnSelectAll_clicked();
    void macroCheckStateChanged(QTreeWidgetItem *item);

private:
    void loadTree();
    void setAllMasterMacros(Qt::CheckState state);
    bool isStoreFile(const QString &path) const;
    bool writeFile(const QString &path) const;
    void writeEntries(QSettings &file) const;

    std::unique_ptr<Ui::ExportDlg> ui;
    QIcon m_masterMacroIcon;
    QIcon m_noteIcon;
    MacroStore &m_store;
    Dialogs &m_dialogs;
};
