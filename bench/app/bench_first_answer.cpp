// What the user sees after Enter on a real dictd: the time to the first
// database row painted in the tree and to the first definition's text
// painted in the view, which the window shows without a click, over the
// demonstration's five dictionaries and then every dictionary installed;
// then the longest event-loop gap while a misspelt word's suggestions are
// computed, until they are shown.
// Usage: bench_first_answer [ROUNDS]
#include "BenchCommon.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "DictdFixture.h"
#include "GapWatch.h"
#include "MainWindow.h"
#include "RichTextView.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

const char* const Words[] = {"apple", "house", "run", "computer", "water"};

// Nanoseconds from a search to the first paint of the tree with a
// database row and of the view with text.
struct Seen {
    long long row = -1;
    long long text = -1;
};

class PaintClock : public QObject {
public:
    PaintClock(MainWindow& window) : m_window(window)
    {
        m_window.Tree().Widget()->viewport()->installEventFilter(this);
        m_window.DefinitionView()->viewport()->installEventFilter(this);
    }
    void Start()
    {
        m_seen = Seen();
        m_clock.start();
    }
    const Seen& Result() const { return m_seen; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const qint64 now = m_clock.nsecsElapsed();
        if (watched == m_window.Tree().Widget()->viewport() && m_seen.row < 0 && HasDatabaseRow())
            m_seen.row = now;
        if (watched == m_window.DefinitionView()->viewport() && m_seen.text < 0
            && !m_window.DefinitionView()->document()->isEmpty())
            m_seen.text = now;
        return false;
    }

private:
    bool HasDatabaseRow() const
    {
        const TreeCtrl& tree = m_window.Tree();
        return tree.GetRootCount() > 0 && tree.GetChildCount(tree.GetRootItem(0)) > 0;
    }

    MainWindow& m_window;
    QElapsedTimer m_clock;
    Seen m_seen;
};

bool Idle(MainWindow& window)
{
    const HTREEITEM root = window.Tree().GetRootItem(0);
    return window.Tree().GetItemImage(root) == 1;
}

void Search(MainWindow& window, const QString& word)
{
    window.WordBox()->setText(word);
    window.OnSearch();
}

// One fixture's rows: the median of each word's rounds.
bool RunFixture(int rounds, const char* label)
{
    DictdFixture dictd;
    if (dictd.Port() == 0) {
        std::fprintf(stderr, "dictd did not start\n");
        return false;
    }
    MainWindow window;
    window.show();
    ConnectionRegistry::Instance().AddServer("127.0.0.1", dictd.Port());
    PaintClock clock(window);
    const bool ready = WaitUntil([&] {
        return ConnectionRegistry::Instance().FindConnection("127.0.0.1")->GetState() == ConnectionState::Ready
            && Idle(window);
    });
    if (!ready) {
        std::fprintf(stderr, "dictd did not list its databases\n");
        return false;
    }
    std::printf("%s\n\n| word | databases | row painted ms | text painted ms | text after row ms |\n"
                "|---|---:|---:|---:|---:|\n",
                label);
    for (const char* word : Words) {
        std::vector<long long> rows, texts, after;
        int databases = 0;
        for (int round = 0; round < rounds; ++round) {
            clock.Start();
            Search(window, word);
            if (!WaitUntil([&] { return clock.Result().text >= 0 && clock.Result().row >= 0 && Idle(window); })) {
                std::fprintf(stderr, "no text shown for %s\n", word);
                return false;
            }
            databases = window.Tree().GetChildCount(window.Tree().GetRootItem(0));
            rows.push_back(clock.Result().row);
            texts.push_back(clock.Result().text);
            after.push_back(clock.Result().text - clock.Result().row);
        }
        std::printf("| %s | %d | %.2f | %.2f | %.2f |\n", word, databases, MedianMs(rows), MedianMs(texts),
                    MedianMs(after));
    }
    // Suggestions: the gap from Enter until they are shown.
    std::vector<long long> gaps, shown;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clockSuggest;
        GapWatch watch;
        clockSuggest.start();
        Search(window, round % 2 ? "recieve" : "definately");
        if (!WaitUntil([&] { return window.DefinitionView()->toPlainText().contains("Did you mean:"); })) {
            std::fprintf(stderr, "no suggestions shown\n");
            return false;
        }
        shown.push_back(clockSuggest.nsecsElapsed());
        gaps.push_back(watch.LargestMs() * 1000000);
    }
    std::printf("\nmisspelt word, Enter to suggestions shown: %.2f ms; longest event-loop gap meanwhile: %.0f ms "
                "(median of %d)\n\n",
                MedianMs(shown), MedianMs(gaps), rounds);
    ConnectionRegistry::Instance().RemoveAllServers();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QTemporaryDir profile;
    qputenv("XDG_CONFIG_HOME", profile.path().toUtf8());
    QApplication application(argc, argv);
    const int rounds = CountArgument(argc, argv, 1, 11);
    std::printf("Command: BUILD/bench/app/bench_first_answer %d\n\n", rounds);
    if (!RunFixture(rounds, "Five dictionaries (the demonstration's)"))
        return 1;
    qputenv("DICTD_FIXTURE_ALL", "1");
    return RunFixture(rounds, "Every dictionary installed") ? 0 : 1;
}
