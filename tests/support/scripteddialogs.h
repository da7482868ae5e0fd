#pragma once

#include "widgets/dialogs.h"

#include <functional>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

// Answers the program's questions from a script and records every one asked, as
// "title|text" ("title|label|offered" for a name, "file|caption" for a file name).
// An unscripted name or file question is cancelled; a question is answered OK unless scripted.
class ScriptedDialogs final : public Dialogs
{
public:
    QStringList names;     // answers to getText; a null QString cancels
    QStringList files;     // answers to the file questions
    QList<bool> questions; // answers to the delete question
    QList<int> choices;    // answers to the questions with choices; none scripted is Cancel
    QStringList asked;
    // When set, a list question stays open as for a user who has not answered yet: this runs
    // while it is open, and it stays open until closeQuestion() (then answered Cancel, `closed`
    // set), or for at most a few seconds.
    std::function<void()> whileAsked;
    bool closed = false;

    QString openFileName(QWidget *, const QString &caption, const QString &) override
    {
        asked << QStringLiteral("file|") + caption;
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString saveFileName(QWidget *parent, const QString &caption, const QString &filter) override
    {
        return openFileName(parent, caption, filter);
    }
    bool getText(QWidget *, const QString &title, const QString &label, QString *text) override
    {
        asked << title + QLatin1Char('|') + label + QLatin1Char('|') + *text;
        const QString answer = names.isEmpty() ? QString() : names.takeFirst();
        if (!answer.isNull())
            *text = answer;
        return !answer.isNull();
    }
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        asked << title + QLatin1Char('|') + text;
    }
    bool question(QWidget *, const QString &title, const QString &text) override
    {
        asked << title + QLatin1Char('|') + text;
        return questions.isEmpty() || questions.takeFirst();
    }
    bool listQuestion(QWidget *parent, const QString &title, const QString &text,
                      const QStringList &items) override
    {
        const bool answer = question(parent, title, text + QLatin1Char('\n') + items.join('\n'));
        if (!whileAsked)
            return answer;
        QEventLoop open;
        m_open = &open;
        QTimer::singleShot(0, &open, whileAsked);
        QTimer::singleShot(5000, &open, &QEventLoop::quit);
        closed = open.exec() == 1;
        m_open = nullptr;
        return answer && !closed;
    }
    void closeQuestion() override
    {
        if (m_open)
            m_open->exit(1);
    }
    int choice(QWidget *, const QString &title, const QString &text, const QStringList &) override
    {
        asked << title + QLatin1Char('|') + text;
        return choices.isEmpty() ? -1 : choices.takeFirst();
    }

private:
    QEventLoop *m_open = nullptr;
};
