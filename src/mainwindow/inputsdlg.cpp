#include "inputsdlg.h"
#include "ui_inputsdlg.h"

#include <QLineEdit>

InputsDlg::InputsDlg(const QStringList &labels, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), ui(std::make_unique<Ui::InputsDlg>())
{
    ui->setupUi(this);
    for (const QString &label : labels) {
        auto *field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("input%1").arg(m_fields.size()));
        ui->fields->addRow(label + QLatin1Char(':'), field);
        m_fields << field;
    }
}

InputsDlg::~InputsDlg() = default;

QStringList InputsDlg::values() const
{
    QStringList values;
    for (const QLineEdit *field : m_fields)
        values << field->text();
    return values;
}

void InputsDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The user is in another program: without this the question would sit behind it, and the
    // keys typed would go there.
    raise();
    activateWindow();
    if (!m_fields.isEmpty())
        m_fields.first()->setFocus();
}

bool InputsDlg::ask(const QStringList &labels, QStringList *values)
{
    InputsDlg dialog(labels);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *values = dialog.values();
    return true;
}
