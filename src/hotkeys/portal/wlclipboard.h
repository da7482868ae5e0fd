#pragma once

#include <functional>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QProcess;

// The clipboard of a Wayland desktop through wl-clipboard (wl-copy, wl-paste), which go through
// the compositor's data-control protocol: Wayland lets only the program with the keyboard focus
// use the clipboard otherwise, and Qt then sees what it held when the program last had the focus.
// A read waits for this program's writes before it, so that it sees them.
class WlClipboard final : public QObject
{
    Q_OBJECT

public:
    // The longest a read waits for the owner's answer, and for the compositor's list of formats.
    static constexpr int ReadMs = 1000;
    static constexpr int ListMs = 500;
    // A format bigger than this is not read.
    static constexpr qint64 ReadLimit = 64 * 1024 * 1024;

    explicit WlClipboard(QObject *parent = nullptr);

    // False where wl-clipboard is not installed.
    bool isAvailable() const;
    // Offers `data` as `type` (a text type under the other names of text too) on the clipboard
    // or the primary selection; `written` runs once, with whether it is there.
    void write(bool primary, const QString &type, const QByteArray &data,
               std::function<void(bool)> written = {});
    // The formats held now, none for an empty clipboard; false when that cannot be told.
    bool formats(bool primary, QStringList *formats);
    // The bytes of one format ("text": the text in UTF-8); false when they cannot be read.
    bool read(bool primary, const QString &format, QByteArray *data);

private:
    enum class Outcome { Done, Failed, TimedOut };
    Outcome paste(const QStringList &arguments, int ms, QByteArray *out);

    QString m_copy;
    QString m_paste;
    QList<QPointer<QProcess>> m_writes;
};
