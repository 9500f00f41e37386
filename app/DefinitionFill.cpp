#include "DefinitionFill.h"

#include "RichTextView.h"
#include "Utf8Text.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// What a piece should cost. A key that assistive technology sees first
// takes three turns of the event loop to arrive, each behind a piece.
constexpr qint64 StepNs = 10'000'000;
constexpr qsizetype MaxPieceChars = 8 * 1024 * 1024;
// How often to look whether the view has laid its text out again.
constexpr int LayoutPollMs = 10;
// A piece with a brace open grows once to this many times its size to
// close it, as a reference broken over its last line needs, before the
// rest is paired.
constexpr qsizetype MaxPieceGrowth = 2;

// The end of the line that holds position `at`, after its line feed.
template <typename Text> qsizetype LineEnd(const Text& text, qsizetype at)
{
    const qsizetype size = static_cast<qsizetype>(text.size());
    if (at >= size)
        return size;
    const auto feed = std::find(text.begin() + at, text.end(), u'\n');
    return feed == text.end() ? size : feed - text.begin() + 1;
}

// The rendered characters from `from` up to `to`, with the parts of the
// link runs and the separators among them, counted from `from`.
RenderedDefinitions Slice(const RenderedDefinitions& rendered, qsizetype from, qsizetype to)
{
    RenderedDefinitions slice;
    slice.text = rendered.text.mid(from, to - from);
    const int first = static_cast<int>(from);
    const int last = static_cast<int>(to);
    const auto& runs = rendered.linkRuns;
    auto run = std::partition_point(runs.begin(), runs.end(), [&](const auto& r) { return r.second <= first; });
    for (; run != runs.end() && run->first < last; ++run)
        slice.linkRuns.emplace_back(std::max(run->first, first) - first, std::min(run->second, last) - first);
    const auto& tabs = rendered.separators;
    for (auto tab = std::lower_bound(tabs.begin(), tabs.end(), first); tab != tabs.end() && *tab < last; ++tab)
        slice.separators.push_back(*tab - first);
    return slice;
}

}  // namespace

DefinitionFill::DefinitionFill(RichTextView* view) : m_pView(view)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Step(); });
}

void DefinitionFill::Start(const std::string& stored)
{
    Stop();
    m_pStored = &stored;
    m_pView->SetPlainText(QString());
    Step();
}

void DefinitionFill::Grow()
{
    // A brace left open may pair with one that came. What was rendered
    // stands either way, so that the reader's place and selection do: the
    // rest pairs with it where its braces pair as they did, else on its own.
    if (m_pPairs) {
        const std::string_view stored = *m_pStored;
        BracePairs grown = PairBraces(stored.substr(m_nPairsFrom));
        const auto& was = m_pPairs->braces;
        const bool kept = std::equal(was.begin(), was.begin() + m_nBrace, grown.braces.begin())
            && ((was[m_nBrace] ^ grown.braces[m_nBrace]) & BracePairs::LinkedBefore) == 0;
        if (!kept) {
            grown = PairBraces(stored.substr(m_nRendered));
            m_nPairsFrom = m_nRendered;
            m_nBrace = 0;
        }
        *m_pPairs = std::move(grown);
    }
    if (!m_timer.isActive())
        Step();
}

void DefinitionFill::Stop()
{
    m_timer.stop();
    m_pStored = nullptr;
    m_nRendered = 0;
    m_pending = RenderedDefinitions();
    m_nPendingShown = 0;
    m_nPieceChars = FirstPieceChars;
    m_nLastPieceStart = -1;
    m_pPairs.reset();
    m_nPairsFrom = 0;
    m_nBrace = 0;
}

bool DefinitionFill::Done() const
{
    return !m_pStored
        || (m_nRendered == static_cast<qsizetype>(m_pStored->size()) && m_nPendingShown == m_pending.text.size());
}

// One piece, timed with its rendering; the next is sized to cost about a
// step, growing at most fourfold after a cheap one.
void DefinitionFill::Step()
{
    if (Done())
        return;
    // Until the view has laid out anew what a zoom made it lay out again,
    // a piece appended would cost a layout of all before it.
    if (!m_pView->IsLaidOutAt(m_nLastPieceStart)) {
        m_timer.start(LayoutPollMs);
        return;
    }
    QElapsedTimer cost;
    cost.start();
    if (m_nPendingShown == m_pending.text.size())
        RenderNext();
    const qsizetype appended = AppendPiece();
    ++m_nPieces;
    const double perChar =
        static_cast<double>(std::max<qint64>(1, cost.nsecsElapsed())) / std::max<qsizetype>(1, appended);
    m_nPieceChars = std::clamp(static_cast<qsizetype>(StepNs / perChar), FirstPieceChars,
                               std::min(MaxPieceChars, 4 * m_nPieceChars));
    if (!Done())
        m_timer.start(0);
}

// The stored text on to a line end a piece's size on, or as much further
// as closes every brace it opens, within bounds; past them, or at the
// stored text's end, with the pairs of all the rest.
void DefinitionFill::RenderNext()
{
    const std::string_view stored = *m_pStored;
    const qsizetype size = static_cast<qsizetype>(stored.size());
    const qsizetype from = m_nRendered;
    qsizetype to = LineEnd(stored, from + m_nPieceChars - 1);
    bool grown = false;
    for (;;) {
        const QString piece = Utf8Text(stored.substr(from, to - from));
        if (m_pPairs) {
            m_pending = RenderDefinitions(piece, *m_pPairs, m_nBrace);
            break;
        }
        m_pending = RenderDefinitions(piece);
        if (m_pending.closed)
            break;
        if (!grown && to < size) {
            grown = true;
            to = LineEnd(stored, from + MaxPieceGrowth * (to - from) - 1);
            continue;
        }
        m_pPairs = std::make_unique<BracePairs>(PairBraces(stored.substr(from)));
        m_nPairsFrom = from;
        m_nBrace = 0;
        to = LineEnd(stored, from + m_nPieceChars - 1);
    }
    m_nRendered = to;
    m_nPendingShown = 0;
}

qsizetype DefinitionFill::AppendPiece()
{
    const qsizetype from = m_nPendingShown;
    const qsizetype to = LineEnd(m_pending.text, from + m_nPieceChars - 1);
    const RenderedDefinitions piece = Slice(m_pending, from, to);
    m_nLastPieceStart = m_pView->document()->characterCount() - 1;
    m_pView->AppendRendered(piece.text, piece.linkRuns, piece.separators);
    m_nPendingShown = to;
    return to - from;
}
