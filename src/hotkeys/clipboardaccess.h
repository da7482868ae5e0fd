#pragma once

#include <memory>
#include <QClipboard>
#include <QString>

class QMimeData;

// The clipboard and the primary selection as other programs see them. One role of the platform
// (Platform); the default is Qt's own clipboard, which serves every session where the program may
// own the clipboard without the focus.
class ClipboardAccess
{
public:
    virtual ~ClipboardAccess() = default;

    // Puts `text` where other programs paste from.
    virtual void setClipboard(const QString &text, QClipboard::Mode mode);
    // The text other programs would paste now ("" for none).
    virtual QString clipboardText();
    // A copy of what `mode` holds now, null when it holds nothing; false when it could not be
    // read (nothing is put back then).
    virtual bool copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy);
    // True while `mode` still holds `text` as this program put it there.
    virtual bool clipboardHolds(QClipboard::Mode mode, const QString &text);
    // Puts a copy made by copyClipboard() back; null empties it.
    virtual void restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy);
};
