#pragma once

#include <QStringList>
#include <vector>

// The abbreviations of the live master macro, found at the end of what was typed: a tree of
// their characters read backwards from the last, built once per change of the notes, so that a
// key typed costs a walk of at most the longest abbreviation and allocates nothing.
class AbbreviationTrie final
{
public:
    AbbreviationTrie() = default;
    // Empty entries are left out; an index is the entry's place in `abbreviations`.
    explicit AbbreviationTrie(const QStringList &abbreviations);

    // The index of the longest abbreviation `typed` (the characters in the order typed) ends
    // with and that starts a word: the character before it is no letter or digit, or it starts
    // `typed` and `typedFromStart` says nothing was typed before that. -1 when none does.
    int match(const char32_t *typed, int size, bool typedFromStart) const;
    // In characters (a pair of surrogates is one); 0 without any.
    int longest() const { return m_longest; }
    bool isEmpty() const { return m_longest == 0; }

private:
    struct Edge
    {
        char32_t character;
        int node;
    };
    struct Node
    {
        int firstEdge = 0; // its edges, sorted by character, in m_edges
        int edgeCount = 0;
        int abbreviation = -1; // that ends here
    };
    int child(int node, char32_t character) const;

    std::vector<Node> m_nodes;
    std::vector<Edge> m_edges;
    int m_longest = 0;
};
