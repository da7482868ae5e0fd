// Matching typed keys against 10,000 live abbreviations: microseconds per key, and allocations
// made while typing, beside two plain references in the same run: a scan of every abbreviation
// for the one the typed text ends with, and a hash lookup of each of the text's ends (both
// without the word-boundary rule, so they find more).
//   bench_abbreviations [keys]     (default 1,000,000 keys)
#include "core/typedtail.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>
#include <unordered_map>

namespace {

std::atomic<long> allocations{0};

} // namespace

void *operator new(std::size_t size)
{
    ++allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

int main(int argc, char **argv)
{
    const long keys = argc > 1 ? std::atol(argv[1]) : 1000000;
    QRandomGenerator random(29);
    const auto word = [&random](int length) {
        QString w;
        for (int i = 0; i < length; ++i)
            w += QChar(u'a' + random.bounded(26));
        return w;
    };
    QStringList abbreviations;
    for (int i = 0; i < 10000; ++i)
        abbreviations << QStringLiteral(":") + word(2 + random.bounded(8));
    // Typing: words and spaces, now and then an abbreviation.
    std::vector<char32_t> typed;
    typed.reserve(static_cast<std::size_t>(keys));
    while (static_cast<long>(typed.size()) < keys) {
        const QString piece = random.bounded(10) == 0
                                  ? abbreviations.at(random.bounded(abbreviations.size()))
                                  : word(1 + random.bounded(10));
        for (const uint c : (piece + QLatin1Char(' ')).toUcs4())
            typed.push_back(c);
    }
    typed.resize(static_cast<std::size_t>(keys));

    TypedTail tail;
    tail.setAbbreviations(abbreviations);
    long fired = 0;
    const long before = allocations;
    QElapsedTimer timer;
    timer.start();
    for (const char32_t c : typed)
        fired += tail.key({TypedKey::Kind::Character, c}) >= 0;
    const double trieUs = double(timer.nsecsElapsed()) / 1000.0 / double(keys);
    const long trieAllocations = allocations - before;

    // The references keep the same tail of 33 characters and ask for the abbreviation at its end.
    std::vector<std::u32string> plain;
    std::unordered_map<std::u32string, int> table;
    for (int i = 0; i < abbreviations.size(); ++i) {
        const QList<uint> ucs4 = abbreviations.at(i).toUcs4();
        plain.emplace_back(ucs4.cbegin(), ucs4.cend());
        table.emplace(plain.back(), i);
    }
    const long referenceKeys = std::min(keys, 20000L); // the scan is slow
    std::u32string last;
    long scanFired = 0;
    timer.restart();
    for (long k = 0; k < referenceKeys; ++k) {
        last.push_back(typed[static_cast<std::size_t>(k)]);
        if (last.size() > 33)
            last.erase(0, 1);
        for (const std::u32string &a : plain) {
            if (last.size() >= a.size() && last.compare(last.size() - a.size(), a.size(), a) == 0) {
                ++scanFired;
                break;
            }
        }
    }
    const double scanUs = double(timer.nsecsElapsed()) / 1000.0 / double(referenceKeys);
    last.clear();
    long hashFired = 0;
    std::u32string end;
    timer.restart();
    for (long k = 0; k < keys; ++k) {
        last.push_back(typed[static_cast<std::size_t>(k)]);
        if (last.size() > 33)
            last.erase(0, 1);
        for (std::size_t n = 1; n <= last.size(); ++n) {
            end.assign(last, last.size() - n, n);
            if (table.count(end) != 0) {
                ++hashFired;
                break;
            }
        }
    }
    const double hashUs = double(timer.nsecsElapsed()) / 1000.0 / double(keys);

    std::printf("10000 abbreviations, %ld keys typed, %ld replaced\n", keys, fired);
    std::printf("  tail and trie:            %8.3f us per key, %ld allocations while typing\n",
                trieUs, trieAllocations);
    std::printf("  reference, linear scan:   %8.3f us per key (first %ld keys, %ld found)\n",
                scanUs, referenceKeys, scanFired);
    std::printf("  reference, hash of ends:  %8.3f us per key (%ld found)\n", hashUs, hashFired);
    return 0;
}
