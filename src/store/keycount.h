#pragma once

#include <QByteArray>
#include <QStringList>

// How many keys the settings layer reads from the bytes of a store file, told from the bytes
// alone where that is certain: where the file is as the settings layer writes it. Asking the
// settings layer instead means listing every key (some 50 ms at 100,000 notes, more than its
// parse of the file takes to list the master macros).
//
// Certain where every line holds a section header or a key, no line runs on into the next, every
// key and section name is spelled plainly (escapes only as the settings layer writes them), each
// section holds keys once and keys below it in its own order, which is how the settings layer
// writes them where keys keep their letter case. Two spellings of one key (an escape, a '/' for
// a '\', a key split across sections) can then never meet: every key is read, once.
class KeyCount final
{
public:
    // `bytes`: without a byte order mark, valid UTF-8 without control characters and without
    // quotes left open (StoreCheck looks at those first). The number of keys, or -1 where the
    // bytes alone cannot tell. Where they can, `masters` (if given) gets the master macros as the
    // settings layer lists them (the groups below MasterMacros), at no cost beyond the count.
    static qsizetype inWrittenOrder(const QByteArray &bytes, QStringList *masters = nullptr);
};
