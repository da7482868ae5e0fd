#pragma once

#include <memory>
#include <QDialog>
#include <QStringList>

class QLineEdit;

namespace Ui {
class InputsDlg;
}

// Asks for the {{input:...}} values of a note being delivered: one field per label, in the
// order given, above OK and Cancel. It comes up in front of whatever program the user is in
// and takes the keyboard; Esc cancels the delivery.
class InputsDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit InputsDlg(const QStringList &labels, QWidget *parent = nullptr);
    ~InputsDlg() override;

    QStringList values() const;

    // Shows the dialog and waits for the answer; false when the user cancelled.
    static bool ask(const QStringList &labels, QStringList *values);

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::InputsDlg> ui;
    QList<QLineEdit *> m_fields;
};
