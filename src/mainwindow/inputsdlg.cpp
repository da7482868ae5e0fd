#include "inputsdlg.h"
#include "ui_inputsdlg.h"

#include <algorithm>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>

InputsDlg::InputsDlg(const QString &note, const QStringList &labels, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), ui(std::make_unique<Ui::InputsDlg>())
{
    ui->setupUi(this);
    if (!note.isEmpty())
        setWindowTitle(tr("%1 — %2").arg(windowTitle(), note));
    for (const QString &label : labels) {
        auto *field = new QLineEdit(ui->fieldsArea);
        field->setObjectName(QStringLiteral("input%1").arg(m_fields.size()));
        ui->fields->addRow(label + QLatin1Char(':'), field);
        m_fields << field;
    }
    fitToScreen();
}

InputsDlg::~InputsDlg() = default;

void InputsDlg::fitToScreen()
{
    const QSize room = screen()->availableGeometry().size();
    setMaximumSize(room);
    // The fields scroll, the window never does: as wide as the labels need, beside a scroll
    // bar, and wide enough for the window manager to show the whole title with its buttons.
    const QFontMetrics metrics(font());
    const int fields =
        ui->fieldsArea->sizeHint().width() + ui->scroll->verticalScrollBar()->sizeHint().width();
    const int title = metrics.horizontalAdvance(windowTitle()) + 8 * metrics.height();
    setMinimumWidth(std::min(std::max(fields, title), room.width() * 9 / 10));
}

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
