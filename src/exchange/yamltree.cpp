#include "yamltree.h"

#include "importprogress.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/parser.h>

namespace {

constexpr std::ptrdiff_t PieceSize = 64 * 1024;

// Hands the parser the bytes a piece at a time, and the end of input as soon as reading is to
// stop: the parser then gives up at once instead of scanning the rest of the file.
class PieceBuffer final : public std::streambuf
{
public:
    PieceBuffer(const QByteArray &bytes, const bool &stop, ImportProgress *progress)
        : m_begin(const_cast<char *>(bytes.constData())), m_end(m_begin + bytes.size()),
          m_next(m_begin), m_stop(stop), m_progress(progress)
    {
    }

    bool cancelled() const { return m_cancelled; }

protected:
    int_type underflow() override
    {
        if (m_progress) {
            m_progress->advance(m_next - m_begin);
            m_cancelled = m_progress->cancelled();
        }
        if (m_stop || m_cancelled || m_next >= m_end)
            return traits_type::eof();
        char *const end = m_next + std::min(PieceSize, m_end - m_next);
        setg(m_next, m_next, end);
        m_next = end;
        return traits_type::to_int_type(*gptr());
    }

private:
    char *m_begin;
    char *m_end;
    char *m_next;
    const bool &m_stop;
    ImportProgress *m_progress;
    bool m_cancelled = false;
};

} // namespace

// Turns the parser's events into the flat arrays, weighing aliases as they come.
class YamlTree::Builder final : public YAML::EventHandler
{
public:
    Builder(YamlTree &tree, const Limits &limits) : m_tree(tree), m_limits(limits) {}

    bool stop = false;
    Outcome outcome = Outcome::Loaded;
    int stopLine = 0;

    void OnDocumentStart(const YAML::Mark &) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark &mark, YAML::anchor_t anchor) override
    {
        add(Kind::Null, mark, anchor, nullptr, 0);
    }
    void OnAlias(const YAML::Mark &mark, YAML::anchor_t anchor) override
    {
        if (stop || anchor == 0 || anchor > m_anchors.size())
            return;
        const Anchor &named = m_anchors[anchor - 1];
        // Still open (an alias inside what it names): only what was read of it so far.
        const qint64 weight = named.weight > 0 ? named.weight : 1;
        m_total += weight;
        m_repeated += weight;
        if (count(mark) && m_repeated > m_limits.repeated)
            halt(Outcome::TooMuchRepeated, mark);
        if (!stop)
            child(named.node);
    }
    void OnScalar(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor,
                  const std::string &value) override
    {
        add(Kind::Scalar, mark, anchor, value.data(), value.size());
    }
    void OnSequenceStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value) override
    {
        open(Kind::Sequence, mark, anchor);
    }
    void OnSequenceEnd() override { close(); }
    void OnMapStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value) override
    {
        open(Kind::Map, mark, anchor);
    }
    void OnMapEnd() override { close(); }

private:
    struct Anchor
    {
        int node = None;
        qint64 weight = 0; // 0 while it is still open
    };
    struct Open
    {
        int node = None;
        YAML::anchor_t anchor = 0;
        qint64 totalBefore = 0;
        std::vector<int> children;
    };

    void halt(Outcome why, const YAML::Mark &mark)
    {
        stop = true;
        outcome = why;
        stopLine = mark.line + 1;
    }
    // One more item; false (and stopped) past the limit.
    bool count(const YAML::Mark &mark)
    {
        if (++m_items <= m_limits.items)
            return true;
        halt(Outcome::TooManyItems, mark);
        return false;
    }
    int node(Kind kind, const YAML::Mark &mark)
    {
        Node made;
        made.kind = kind;
        made.line = mark.line + 1;
        m_tree.m_nodes.push_back(made);
        return static_cast<int>(m_tree.m_nodes.size() - 1);
    }
    void child(int index)
    {
        if (m_depth > 0)
            m_open[m_depth - 1].children.push_back(index);
        else if (m_tree.m_root == None)
            m_tree.m_root = index;
    }
    void name(YAML::anchor_t anchor, int index, qint64 weight)
    {
        if (anchor == 0)
            return;
        if (anchor > m_anchors.size())
            m_anchors.resize(anchor);
        m_anchors[anchor - 1] = {index, weight};
    }
    void add(Kind kind, const YAML::Mark &mark, YAML::anchor_t anchor, const char *text,
             std::size_t size)
    {
        if (stop || !count(mark))
            return;
        const int index = node(kind, mark);
        Node &made = m_tree.m_nodes.back();
        made.first = static_cast<qint64>(m_tree.m_text.size());
        made.count = static_cast<qint64>(size);
        m_tree.m_text.append(text ? text : "", size);
        const qint64 weight = 1 + static_cast<qint64>(size);
        m_total += weight;
        name(anchor, index, weight);
        child(index);
    }
    void open(Kind kind, const YAML::Mark &mark, YAML::anchor_t anchor)
    {
        if (stop || !count(mark))
            return;
        const int index = node(kind, mark);
        if (m_depth == m_open.size())
            m_open.emplace_back();
        Open &opened = m_open[m_depth++];
        opened.node = index;
        opened.anchor = anchor;
        opened.totalBefore = m_total;
        opened.children.clear();
        m_total += 1;
        name(anchor, index, 0);
    }
    void close()
    {
        if (stop || m_depth == 0)
            return;
        Open &closed = m_open[--m_depth];
        Node &made = m_tree.m_nodes[closed.node];
        made.first = static_cast<qint64>(m_tree.m_edges.size());
        made.count = static_cast<qint64>(closed.children.size());
        m_tree.m_edges.insert(m_tree.m_edges.end(), closed.children.cbegin(),
                              closed.children.cend());
        name(closed.anchor, closed.node, m_total - closed.totalBefore);
        child(closed.node);
    }

    YamlTree &m_tree;
    const Limits &m_limits;
    std::vector<Open> m_open; // kept between uses, so that their lists keep their room
    std::size_t m_depth = 0;
    std::vector<Anchor> m_anchors;
    qint64 m_items = 0;
    qint64 m_total = 0;    // the document as big as it would be with every alias copied out
    qint64 m_repeated = 0; // what the aliases add to it
};

YamlTree::Outcome YamlTree::load(const QByteArray &bytes, const Limits &limits,
                                 ImportProgress *progress)
{
    *this = YamlTree();
    Builder builder(*this, limits);
    PieceBuffer buffer(bytes, builder.stop, progress);
    std::istream input(&buffer);
    // yaml-cpp reports what it cannot read by throwing; nothing of it leaves this function.
    try {
        YAML::Parser parser(input);
        parser.HandleNextDocument(builder);
    } catch (const YAML::DeepRecursion &error) {
        builder.outcome = Outcome::TooDeep;
        builder.stopLine = error.mark.line + 1;
    } catch (const YAML::Exception &error) {
        if (!builder.stop && !buffer.cancelled()) {
            builder.outcome = Outcome::Broken;
            m_error = QString::fromStdString(error.msg);
            builder.stopLine = error.mark.is_null() ? 0 : error.mark.line + 1;
        }
    }
    Outcome outcome = buffer.cancelled() ? Outcome::Cancelled : builder.outcome;
    if (outcome != Outcome::Loaded) {
        const QString error = m_error;
        *this = YamlTree();
        m_error = error;
        m_errorLine = builder.stopLine;
    }
    return outcome;
}

YamlTree::Kind YamlTree::kind(int node) const
{
    return node >= 0 ? m_nodes[node].kind : Kind::Null;
}

int YamlTree::line(int node) const
{
    return node >= 0 ? m_nodes[node].line : 1;
}

QString YamlTree::scalar(int node) const
{
    if (kind(node) != Kind::Scalar)
        return {};
    const Node &found = m_nodes[node];
    return QString::fromUtf8(m_text.data() + found.first, found.count);
}

int YamlTree::value(int map, const char *key) const
{
    if (kind(map) != Kind::Map)
        return None;
    const Node &found = m_nodes[map];
    const std::size_t size = std::strlen(key);
    for (qint64 i = 0; i + 1 < found.count; i += 2) {
        const Node &name = m_nodes[m_edges[found.first + i]];
        if (name.kind == Kind::Scalar && static_cast<std::size_t>(name.count) == size &&
            m_text.compare(name.first, size, key) == 0)
            return m_edges[found.first + i + 1];
    }
    return None;
}

QList<int> YamlTree::children(int node) const
{
    const Kind type = kind(node);
    if (type != Kind::Sequence && type != Kind::Map)
        return {};
    const Node &found = m_nodes[node];
    return QList<int>(m_edges.cbegin() + found.first, m_edges.cbegin() + found.first + found.count);
}
