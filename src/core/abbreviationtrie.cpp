#include "abbreviationtrie.h"

#include <algorithm>
#include <map>
#include <QChar>

namespace {

bool isWordCharacter(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing;
}

} // namespace

AbbreviationTrie::AbbreviationTrie(const QStringList &abbreviations)
{
    // Built as a tree of maps, then laid out flat with each node's edges side by side, which a
    // lookup searches by halves.
    struct Building
    {
        std::map<char32_t, int> children;
        int abbreviation = -1;
    };
    std::vector<Building> building(1);
    for (int index = 0; index < abbreviations.size(); ++index) {
        const QList<uint> characters = abbreviations.at(index).toUcs4();
        if (characters.isEmpty())
            continue;
        int node = 0;
        for (auto it = characters.crbegin(); it != characters.crend(); ++it) {
            const auto found = building[node].children.find(*it);
            if (found != building[node].children.end()) {
                node = found->second;
                continue;
            }
            building[node].children.emplace(*it, static_cast<int>(building.size()));
            node = static_cast<int>(building.size());
            building.emplace_back();
        }
        // Of two equal ones the first counts, as the store lets only one note have it.
        if (building[node].abbreviation < 0)
            building[node].abbreviation = index;
        m_longest = std::max(m_longest, static_cast<int>(characters.size()));
    }
    m_nodes.resize(building.size());
    for (std::size_t n = 0; n < building.size(); ++n) {
        m_nodes[n].firstEdge = static_cast<int>(m_edges.size());
        m_nodes[n].edgeCount = static_cast<int>(building[n].children.size());
        m_nodes[n].abbreviation = building[n].abbreviation;
        for (const auto &[character, node] : building[n].children)
            m_edges.push_back({character, node});
    }
}

int AbbreviationTrie::child(int node, char32_t character) const
{
    const auto begin = m_edges.cbegin() + m_nodes[node].firstEdge;
    const auto end = begin + m_nodes[node].edgeCount;
    const auto found = std::lower_bound(
        begin, end, character, [](const Edge &edge, char32_t c) { return edge.character < c; });
    return found != end && found->character == character ? found->node : -1;
}

int AbbreviationTrie::match(const char32_t *typed, int size, bool typedFromStart) const
{
    if (m_nodes.empty())
        return -1;
    int found = -1;
    int node = 0;
    for (int at = size - 1; at >= 0; --at) {
        node = child(node, typed[at]);
        if (node < 0)
            break;
        const int abbreviation = m_nodes[node].abbreviation;
        if (abbreviation < 0)
            continue;
        const bool startsWord = at > 0 ? !isWordCharacter(typed[at - 1]) : typedFromStart;
        if (startsWord)
            found = abbreviation; // a longer one found later wins
    }
    return found;
}
