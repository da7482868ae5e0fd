#pragma once

#include "core/abbreviationtrie.h"
#include "core/typedkey.h"

#include <array>
#include <QStringList>

// The last characters typed, as few as the longest abbreviation needs (one more, for the word
// boundary before it), in memory only, and what a key does to them. Nothing else of what was
// typed is ever kept.
class TypedTail final
{
public:
    // Longest abbreviation + 1.
    static constexpr int Capacity = 33;

    // The abbreviations to find; forgets what was typed.
    void setAbbreviations(const QStringList &abbreviations);
    // The index of the abbreviation this key completed, -1 for none. A completed one is
    // forgotten with everything before it, so that it fires once.
    int key(const TypedKey &key);
    // Forgets what was typed; what comes next starts a word.
    void clear();
    bool isEmpty() const { return m_size == 0; }
    int size() const { return m_size; }

private:
    void type(char32_t character);

    AbbreviationTrie m_trie;
    int m_keep = 0;
    std::array<char32_t, Capacity> m_typed{};
    int m_size = 0;
    // Nothing was typed before m_typed[0] since the last clear: it starts a word.
    bool m_fromStart = true;
};
