#include "dialogs.h"

#include "store/macrostore.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

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
