#pragma once

#include <optional>
#include <QByteArray>
#include <QString>
#include <QStringList>

class QSettings;

// Compares the bytes of a store file with what the settings layer reads from them. Qt reads past
// most damage without a word (text in another encoding, a quote left open that swallows the lines
// after it, the zero bytes a crash leaves) and reports a slip only once a section is parsed; its
// next write then drops for good whatever it did not read. One pass over the bytes, and Qt's key
// count only where the bytes alone cannot tell it (KeyCount): a few milliseconds at 10,000 notes.
class StoreCheck final
{
public:
    // `store`: a view of the very file `bytes` were read from. "" when the settings layer reads
    // all the file holds; else the first difference found, in plain words. Where the bytes alone
    // told that, `masters` (if given) gets the master macros as the settings layer lists them.
    static QString damage(const QByteArray &bytes, QSettings &store,
                          std::optional<QStringList> *masters = nullptr);
    // What the bytes show alone, without the settings layer's reading: "" or the first slip.
    static QString byteDamage(const QByteArray &bytes);

    // A UTF-8 byte order mark, which the settings layer reads past and never writes.
    static inline const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
    static QByteArray withoutMark(const QByteArray &bytes);

    // Whether `bytes`, written by the settings layer from `store`, hold all its keys: one line
    // each, the last one ended. What a short write leaves (a full disk) fails this.
    static bool holdsKeys(const QByteArray &bytes, QSettings &store);
};
