#pragma once

#include <memory>
#include <QDialog>
#include <QStringList>

class QLineEdit;

namespace Ui {
class InputsDlg;
}

// Asks for the {{input:...}} values of a note being delivered: one field per label, in the
// order given, above OK and Cancel, titled with the note's name. It comes up in front of
// whatever program the user is in and takes the keyboard; Esc cancels the delivery. However many
// fields and however long their labels, it fits the screen and scrolls.
class InputsDlg final : public QDialog
{
    Q_OBJECT

public:
    InputsDlg(const QString &note, const QStringList &labels, QWidget *parent = nullptr);
    ~InputsDlg() override;

    QStringList values() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitToScreen();

    std::unique_ptr<Ui::InputsDlg> ui;
    QList<QLineEdit *> m_fields;
};
