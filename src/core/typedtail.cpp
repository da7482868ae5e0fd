#include "typedtail.h"

#include <algorithm>

void TypedTail::setAbbreviations(const QStringList &abbreviations)
{
    m_trie = AbbreviationTrie(abbreviations);
    m_keep = m_trie.isEmpty() ? 0 : std::min(m_trie.longest() + 1, Capacity);
    clear();
}

void TypedTail::clear()
{
    m_typed.fill(0);
    m_size = 0;
    m_fromStart = true;
}

void TypedTail::type(char32_t character)
{
    if (m_keep == 0)
        return;
    if (m_size == m_keep) {
        std::copy(m_typed.begin() + 1, m_typed.begin() + m_size, m_typed.begin());
        --m_size;
        m_fromStart = false;
    }
    m_typed[m_size++] = character;
}

int TypedTail::key(const TypedKey &key)
{
    switch (key.kind) {
    case TypedKey::Kind::Character: {
        type(key.character);
        const int found = m_trie.match(m_typed.data(), m_size, m_fromStart);
        if (found >= 0) {
            clear();
            // What follows the replacement is no word start of its own.
            m_fromStart = false;
        }
        return found;
    }
    case TypedKey::Kind::BackSpace:
        if (m_size > 0)
            m_typed[--m_size] = 0;
        else
            m_fromStart = false; // erased into what was never seen
        return -1;
    case TypedKey::Kind::Break:
        clear();
        return -1;
    case TypedKey::Kind::Ignored:
        return -1;
    }
    return -1;
}
