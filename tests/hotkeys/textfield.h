#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

// The text field of the helper application (textfieldhelper), seen from a test: the helper
// holds the X input focus, so a paste lands there, and it reports its content after every change.
class TextField final : public QObject
{
public:
    TextField() = default;
    ~TextField() override;

    // Starts the helper; isReady() turns true once its field has the focus.
    bool start();
    bool isReady() const { return m_ready; }
    QString text() const { return m_text; }
    QString clipboard() const { return m_clipboard; }
    void clear();
    // Asks for the clipboard's text; clipboard() shows it once the answer is in.
    void askClipboard();

private:
    void readLines();

    QProcess m_process;
    bool m_ready = false;
    QString m_text;
    QString m_clipboard;
};
