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
bool PairBraces(CharList& list, LinkMarks& marks, bool doubled)
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

}  // namespace

RenderedDefinitions RenderDefinitions(const QString& stored)
{
    CharList list(stored);
    LinkMarks marks(static_cast<int>(stored.size()));
    RenderedDefinitions rendered;
    rendered.closed = PairBraces(list, marks, true);
    marks.StartPass();
    rendered.closed = PairBraces(list, marks, false) && rendered.closed;

    // The characters left, in order, with their link flags.
    rendered.text = QString(stored.size(), Qt::Uninitialized);
    QChar* const out = rendered.text.data();
    std::vector<char> flags(stored.size());
    int count = 0;
    for (int node = list.Head(); node != End; node = list.Next(node), ++count) {
        out[count] = list.At(node);
        flags[count] = marks.Linked(node);
    }

    // Separators: markers cannot overlap, so replacing them left to right
    // is what searching again from the start after each one gives. The tab
    // takes the format of the marker's first character. Writing never
    // overtakes reading, so this works in place.
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
    rendered.text.truncate(size);
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
