#pragma once

#include "widgets/macrotreeitems.h"

#include <memory>
#include <QDialog>

class Dialogs;
class MacroStore;
class QEvent;
class QTreeWidgetItem;

namespace Ui {
class ExportDlg;
}

// Lists every master macro and note of the store with check boxes (column 1: whether the note's
// text goes along) and, on OK, has the chosen ones written to a master macro file.
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

    std::unique_ptr<Ui::ExportDlg> ui;
    std::unique_ptr<MacroTreeItems> m_items;
    MacroStore &m_store;
    Dialogs &m_dialogs;
};
