#include "RenderDefinitions.h"

#include <algorithm>

namespace {

constexpr int End = -1;
const QString Marker = QStringLiteral("<qrlexsep>");

// The text as a linked list over its original positions, so that deleting
// characters never moves the others and positions stay ordered. A deleted
// character is only flagged; the links that lead over it are shortened when
// next followed, so each one is passed over a bounded number of times.
class CharList {
public:
    explicit CharList(const QString& text) : m_text(text), m_next(text.size()), m_deleted(text.size(), 0)
    {
        for (int i = 0; i < text.size(); ++i)
            m_next[i] = i + 1 < text.size() ? i + 1 : End;
        m_head = text.isEmpty() ? End : 0;
    }
    int Head() { return m_head = Alive(m_head); }
    int Next(int node) { return node == End ? End : m_next[node] = Alive(m_next[node]); }
    QChar At(int node) const { return m_text[node]; }
    bool Is(int node, QChar c) const { return node != End && m_text[node] == c; }
    bool IsPair(int node, QChar c) { return Is(node, c) && Is(Next(node), c); }
    void Remove(int node) { m_deleted[node] = 1; }
    bool IsRemoved(int node) const { return m_deleted[node] != 0; }

private:
    int Alive(int node) const
    {
        while (node != End && m_deleted[node])
            node = m_next[node];
        return node;
    }

    const QString& m_text;
    std::vector<int> m_next;
    std::vector<char> m_deleted;
    int m_head = End;
};

// Link coverage over original positions, one byte each. A pass marks its
// ranges in order of their starts, so nothing before the end of the last
// range needs marking again: every character is marked at most once a pass.
class LinkMarks {
public:
    explicit LinkMarks(int size) : m_linked(size, 0) {}
    void StartPass() { m_markedTo = 0; }
    void Mark(int first, int last)
    {
        for (int i = std::max(first, m_markedTo); i <= last; ++i)
            m_linked[i] = 1;
        m_markedTo = std::max(m_markedTo, last + 1);
    }
    bool Linked(int position) const { return m_linked[position] != 0; }

private:
    std::vector<char> m_linked;
    int m_markedTo = 0;
};

int FindFrom(CharList& list, int node, QChar c, bool pair)
{
    for (; node != End; node = list.Next(node))
        if (pair ? list.IsPair(node, c) : list.Is(node, c))
            return node;
    return End;
}

void RemoveRun(CharList& list, int node, int width)
{
    for (int k = 0; k < width; ++k) {
        const int next = list.Next(node);
        list.Remove(node);
        node = next;
    }
}

// One brace pass. Each step would search again from the start, but no
// opening can stand before the last one found and no closing between it
// and the last closing taken, so both searches resume where they were.
// False when it ended on an opening without a closing.
bool PairPass(CharList& list, LinkMarks& marks, bool doubled)
{
    const int width = doubled ? 2 : 1;
    int open = list.Head();
    int close = list.Head();
    for (;;) {
        const int b = FindFrom(list, open, u'{', doubled);
        if (b == End)
            return true;
        const int e = FindFrom(list, close == End || close < b ? b : close, u'}', doubled);
        if (e == End)
            return false;
        const int lastOpen = doubled ? list.Next(b) : b;
        const int lastClose = doubled ? list.Next(e) : e;
        // Double braces link what stands between them; single ones
        // themselves too, which vanish with their deletion.
        marks.Mark(doubled ? lastOpen + 1 : b, doubled ? e - 1 : e);
        const int afterOpen = list.Next(lastOpen);
        close = list.Next(lastClose);
        RemoveRun(list, b, width);
        RemoveRun(list, e, width);
        open = afterOpen == e ? close : afterOpen;
    }
}

bool IsBrace(QChar c)
{
    return c == u'{' || c == u'}';
}

// The characters a rendering keeps, with their link flags: the markers
// become tabs, which take the flag of the marker's first character, and
// the flags become link runs. Markers cannot overlap, so replacing them
// left to right is what searching again from the start after each one
// gives. Writing never overtakes reading, so this works in place.
RenderedDefinitions Assemble(QString kept, std::vector<char> flags)
{
    RenderedDefinitions rendered;
    QChar* const out = kept.data();
    const int count = static_cast<int>(kept.size());
    const int markerSize = static_cast<int>(Marker.size());
    int size = 0;
    for (int i = 0; i < count; ++size) {
        flags[size] = flags[i];
        if (out[i] == u'<' && QStringView(out + i, count - i).startsWith(Marker)) {
            rendered.separators.push_back(size);
            out[size] = u'\t';
            i += markerSize;
        } else {
            out[size] = out[i];
            ++i;
        }
    }
    kept.truncate(size);
    rendered.text = std::move(kept);
    for (int i = 0; i < size; ++i) {
        if (!flags[i])
            continue;
        if (!rendered.linkRuns.empty() && rendered.linkRuns.back().second == i)
            rendered.linkRuns.back().second = i + 1;
        else
            rendered.linkRuns.emplace_back(i, i + 1);
    }
    return rendered;
}

}  // namespace

RenderedDefinitions RenderDefinitions(const QString& stored)
{
    CharList list(stored);
    LinkMarks marks(static_cast<int>(stored.size()));
    const bool doubleClosed = PairPass(list, marks, true);
    marks.StartPass();
    const bool singleClosed = PairPass(list, marks, false);

    QString kept(stored.size(), Qt::Uninitialized);
    std::vector<char> flags(stored.size());
    int count = 0;
    for (int node = list.Head(); node != End; node = list.Next(node), ++count) {
        kept[count] = list.At(node);
        flags[count] = marks.Linked(node);
    }
    kept.truncate(count);
    RenderedDefinitions rendered = Assemble(std::move(kept), std::move(flags));
    rendered.closed = doubleClosed && singleClosed;
    return rendered;
}

BracePairs PairBraces(std::string_view stored)
{
    QString skeleton;
    bool inGap = false;
    for (const char c : stored) {
        const bool brace = c == '{' || c == '}';
        if (brace || !inGap)
            skeleton += brace ? QChar(QLatin1Char(c)) : QChar(u'x');
        inGap = !brace;
    }
    CharList list(skeleton);
    LinkMarks marks(static_cast<int>(skeleton.size()));
    PairPass(list, marks, true);
    marks.StartPass();
    PairPass(list, marks, false);

    BracePairs pairs;
    std::uint8_t next = 0;
    for (int i = 0; i < skeleton.size(); ++i) {
        if (!IsBrace(skeleton[i])) {
            next = marks.Linked(i) ? BracePairs::LinkedBefore : 0;
            continue;
        }
        next |= list.IsRemoved(i) ? BracePairs::Deleted : 0;
        next |= marks.Linked(i) ? BracePairs::Linked : 0;
        pairs.braces.push_back(next);
        next = 0;
    }
    pairs.braces.push_back(next);
    return pairs;
}

RenderedDefinitions RenderDefinitions(const QString& stretch, const BracePairs& pairs, std::size_t& brace)
{
    QString kept(stretch.size(), Qt::Uninitialized);
    std::vector<char> flags(stretch.size());
    int count = 0;
    for (const QChar c : stretch) {
        const std::uint8_t flag = pairs.braces[std::min(brace, pairs.braces.size() - 1)];
        if (!IsBrace(c)) {
            kept[count] = c;
            flags[count++] = (flag & BracePairs::LinkedBefore) != 0;
            continue;
        }
        ++brace;
        if (flag & BracePairs::Deleted)
            continue;
        kept[count] = c;
        flags[count++] = (flag & BracePairs::Linked) != 0;
    }
    kept.truncate(count);
    return Assemble(std::move(kept), std::move(flags));
}
