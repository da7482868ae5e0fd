#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <string>
#include <vector>

class ImportProgress;

// A YAML document as the import reads it: maps, lists and texts in a few flat arrays (a small
// fraction of what a general YAML library's nodes take), an alias (*name) pointing at what its
// anchor (&name) names rather than copying it. What the aliases repeat is weighed while the
// document is read, and reading stops past a limit, as it does past a number of items: a few
// hundred kilobytes of aliases can otherwise stand for gigabytes of text.
class YamlTree final
{
public:
    struct Limits
    {
        qint64 items = 1000000;    // keys, values and list entries
        qint64 repeated = 4 << 20; // bytes of text and items that aliases repeat
    };
    enum class Outcome { Loaded, TooManyItems, TooMuchRepeated, TooDeep, Cancelled, Broken };
    enum class Kind : quint8 { Null, Scalar, Sequence, Map };
    static constexpr int None = -1;

    // The first document of `bytes` (UTF-8). Anything but Loaded leaves the tree empty, with the
    // line where reading stopped, and for Broken the parser's message.
    Outcome load(const QByteArray &bytes, const Limits &limits, ImportProgress *progress);
    QString error() const { return m_error; }
    int errorLine() const { return m_errorLine; }

    int root() const { return m_root; } // None for an empty document
    Kind kind(int node) const;
    int line(int node) const;       // from 1
    QString scalar(int node) const; // "" for anything but a scalar
    // The value of the first `key` in a map; None when there is none or `map` is none.
    int value(int map, const char *key) const;
    // A list's entries (a map's keys and values by turns); none for a scalar.
    QList<int> children(int node) const;

private:
    class Builder;

    struct Node
    {
        Kind kind = Kind::Null;
        int line = 0;
        qint64 first = 0; // where its text (in m_text) or its children (in m_edges) begin
        qint64 count = 0; // bytes of text, or children
    };
    std::vector<Node> m_nodes;
    std::vector<int> m_edges;
    std::string m_text;
    int m_root = None;
    QString m_error;
    int m_errorLine = 0;
};
