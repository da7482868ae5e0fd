#include "inputsasker.h"

#include "mainwindow/inputsdlg.h"

void InputsAsker::ask(const QString &note, const QStringList &labels, Answer answer)
{
    auto *dialog = new InputsDlg(note, labels, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // As any question of the program's: the main window waits, the tray does not (ModalScope).
    dialog->setWindowModality(Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, answer = std::move(answer)](int result) {
                         answer(result == QDialog::Accepted, dialog->values());
                     });
    dialog->show();
}
