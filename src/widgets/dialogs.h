#pragma once

#include <functional>
#include <QPointer>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// The modal questions the program asks: file names, names, warnings and the delete question.
// Everything that asks goes through one of these, so that tests answer with a scripted
// subclass instead of a real dialog. The base class shows Qt's standard dialogs.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // "" when cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &filter);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &filter);
    // False when cancelled; *text holds the entry otherwise.
    virtual bool getText(QWidget *parent, const QString &title, const QString &label,
                         QString *text);
    // A warning with one OK button.
    virtual void warning(QWidget *parent, const QString &title, const QString &text);
    // OK and Cancel, Cancel the default; true for OK.
    virtual bool question(QWidget *parent, const QString &title, const QString &text);
    // As question(), with `items` listed below the text in a view of a few lines that scrolls.
    virtual bool listQuestion(QWidget *parent, const QString &title, const QString &text,
                              const QStringList &items);
    // Answers an open listQuestion() Cancel (what it asked about is gone).
    virtual void closeQuestion();
    // One button per choice and Cancel; the index of the choice, -1 for Cancel.
    virtual int choice(QWidget *parent, const QString &title, const QString &text,
                       const QStringList &choices);

    // Asks for a new name until it is one the store can hold and `clashes` says no (each refusal
    // warned of, the refused name offered again); "" when the user gives up.
    QString askNewName(QWidget *parent, const QString &title, const QString &label,
                       const std::function<bool(const QString &)> &clashes,
                       const QString &clashWarning);

private:
    QPointer<QDialog> m_listQuestion;
};
