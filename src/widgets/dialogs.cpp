#include "dialogs.h"

#include "store/macrostore.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString Dialogs::openFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString Dialogs::saveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

bool Dialogs::getText(QWidget *parent, const QString &title, const QString &label, QString *text)
{
    bool accepted = false;
    const QString entry =
        QInputDialog::getText(parent, title, label, QLineEdit::Normal, *text, &accepted);
    if (accepted)
        *text = entry;
    return accepted;
}

void Dialogs::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

bool Dialogs::question(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

bool Dialogs::listQuestion(QWidget *parent, const QString &title, const QString &text,
                           const QStringList &items)
{
    // A message box grows with its text: a thousand items would make it taller than any screen.
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *label = new QLabel(text, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto *list = new QPlainTextEdit(items.join(QLatin1Char('\n')), &dialog);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics = list->fontMetrics();
    const int frame = 2 * list->frameWidth() + 8;
    list->setFixedHeight(
        metrics.lineSpacing() * int(qBound(qsizetype(2), items.size(), qsizetype(8))) + frame);
    list->setMinimumWidth(metrics.averageCharWidth() * 70);
    layout->addWidget(list);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    m_listQuestion = &dialog;
    return dialog.exec() == QDialog::Accepted;
}

void Dialogs::closeQuestion()
{
    if (m_listQuestion)
        m_listQuestion->reject();
}

int Dialogs::choice(QWidget *parent, const QString &title, const QString &text,
                    const QStringList &choices)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Cancel, parent);
    QList<QAbstractButton *> buttons;
    for (const QString &choice : choices)
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

QString Dialogs::askNewName(QWidget *parent, const QString &title, const QString &label,
                            const std::function<bool(const QString &)> &clashes,
                            const QString &clashWarning)
{
    QString entry;
    for (;;) {
        if (!getText(parent, title, label, &entry) || entry.isEmpty())
            return QString();
        if (!MacroStore::isStorableName(entry)) {
            // The settings layer would file such a name as nested groups, and it would come
            // back after a restart as something else.
            warning(parent, QCoreApplication::applicationName(),
                    QCoreApplication::translate(
                        "MainWindow", "A name cannot contain \"/\" or \"\\\": the macro store "
                                      "uses them to separate its groups."));
        } else if (clashes(entry)) {
            warning(parent, QCoreApplication::applicationName(), clashWarning);
        } else {
            return entry;
        }
    }
}
