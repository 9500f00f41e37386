// A long reply streamed into the selected database node of the real main
// window (offscreen): the longest event-loop gap and the total time until
// the view shows the whole text, beside the same reply with no node
// selected; once sent all at once, once paced as a remote server's reply
// arrives (a definition every few milliseconds). Then selecting a node
// that holds 1, 8 and 24 MiB, two cross-references a line: the time until
// its first screen is shown, the longest event-loop gap and the time until
// the whole text is shown and laid out, beside showing its whole rendering
// at once: until it is shown (the view lays out the rest lazily, from the
// event loop) and until it is laid out; the last of them once more with a
// brace on its first line that no closing brace ends. Then Ctrl+F and a
// word typed as a 24 MiB node begins to fill, the word on 20,000 of its
// lines; and zooming in and out as it fills: the longest event-loop gap,
// the time from the last key until its first match is selected, and until
// every match is found in the whole text. Then a node of one 1 MiB line,
// a match every ten characters: the longest event-loop gap of selecting
// it, and of Ctrl+F, typing, F3, Shift+F3, scrolling along and repainting.
// With QUORLEX_BENCH_KEYSTROKE=1, under X with xdotool (bench/a11y-session
// runs it so, beside assistive technology), also the time until a key
// typed with the root selected, and right after selecting the node,
// reaches the word box. Last, File, Save As... of a 24 MiB search as a
// web page and as text: the longest event-loop gap and the time until the
// file is written.
// Usage: bench_growing_view [DEFINITIONS] [ROUNDS]
#include "BenchCommon.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "FindBar.h"
#include "GapWatch.h"
#include "MainWindow.h"
#include "RenderDefinitions.h"
#include "RichTextView.h"
#include "ScriptedDictServer.h"
#include "SearchOutput.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <numeric>
#include <vector>

namespace {

const QByteArray Greeting = ScriptedDictServer::DefaultGreeting() + "\r\n";
const QByteArray ListReply = "110 1 databases present\r\nwn \"WordNet (r) 3.0 (2006)\"\r\n.\r\n250 ok\r\n";
const QByteArray Header = "151 \"apple\" wn \"WordNet (r) 3.0 (2006)\"\r\n";

bool Until(const std::function<bool()>& condition)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > 300000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Definitions of about 1.8 KB: lines of a dictionary entry, a few links.
QByteArray Definition(int index)
{
    QByteArray body;
    for (int line = 0; body.size() < 1800; ++line)
        body += "   " + QByteArray::number(index) + "." + QByteArray::number(line)
            + " the fleshy pome of a {rosaceous tree} cultivated in numberless varieties\r\n";
    return Header + body + ".\r\n";
}

// A reply whose stored text holds at least `mebibytes` MiB: definitions
// of about 4 KB in lines with two cross-references each; `quinces` of the
// lines, spread evenly, name a quince instead of a crab apple.
QByteArray LargeReply(int mebibytes, qsizetype quinces = 0)
{
    const QByteArray line = "   the fleshy pome of a {rosaceous tree}, see also {crab apple}\r\n";
    const qsizetype lines = 4096 / line.size();
    const qsizetype stored = lines * (line.size() - 1) + 11;
    const qsizetype definitions = ((qsizetype(mebibytes) << 20) + stored - 1) / stored;
    QByteArray reply;
    for (qsizetype i = 0; i < definitions * lines; ++i) {
        if (i % lines == 0)
            reply += (i ? ".\r\n" : "") + Header;
        const bool quince = (i + 1) * quinces / (definitions * lines) != i * quinces / (definitions * lines);
        reply += quince ? QByteArray(line).replace("crab apple", "quince") : line;
    }
    return reply + ".\r\n";
}

struct Figures {
    qint64 gapMs = 0;
    qint64 totalMs = 0;
};

struct Finding {
    qint64 gapMs = 0;
    double firstMatchMs = 0;
    double allMs = 0;
    qsizetype matches = 0;
};

// The event loop turned for a while, as between a user's keys.
void Pause(int ms)
{
    QElapsedTimer paused;
    paused.start();
    while (paused.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Selection {
    double idleKeyMs = 0;
    double keyMs = 0;
    double firstMs = 0;
    qint64 gapMs = 0;
    double fullMs = 0;
    double wholeShownMs = 0;
    double wholeMs = 0;
};

// Whatever of the view's text is not laid out yet is laid out now.
void LayOut(const RichTextView& view)
{
    view.document()->documentLayout()->blockBoundingRect(view.document()->lastBlock());
}

// The window searching "apple" on one scripted server whose reply, after
// its first definition, waits for the go.
class Bench {
public:
    // `rest` as one write, or as one write per piece, a few milliseconds apart.
    Bench(const QByteArray& first, const std::vector<QByteArray>& rest)
    {
        m_server.Listen();
        m_server.Send(Greeting)
            .WaitForLine("^SHOW DB$")
            .Send(ListReply)
            .WaitForLine("^DEFINE ")
            .Send("150 n definitions retrieved\r\n" + first)
            .Hold([this] { return m_bGo; });
        for (const QByteArray& piece : rest)
            m_server.Send(piece);
        m_server.Send("250 ok\r\n");
        m_window.show();
        m_window.activateWindow();
        ConnectionRegistry::Instance().AddServer("127.0.0.1", m_server.Port());
        m_root = m_window.Tree().GetRootItem(0);
        Until([this] { return m_server.ReceivedLines().contains("SHOW DB") && Idle(); });
        m_window.WordBox()->setText("apple");
        m_window.OnSearch();
        Until([this] { return Node() && !Connection()->GetDefinitions(Node()).empty(); });
    }
    ~Bench() { ConnectionRegistry::Instance().RemoveAllServers(); }

    // Not selected: the user chose the server's node, which the search
    // would otherwise have replaced with its first database's.
    Figures Stream(bool selected)
    {
        QTreeWidget* tree = m_window.Tree().Widget();
        if (selected)
            m_window.Tree().SelectItem(Node());
        else
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                              tree->visualItemRect(tree->topLevelItem(0)).center());
        GapWatch gaps;
        QElapsedTimer total;
        total.start();
        m_bGo = true;
        Until([&] { return m_server.IsScriptDone() && Idle() && (!selected || Shown()); });
        return {gaps.LargestMs(), total.elapsed()};
    }
    // Selecting the node from its server's: the first screen shown and
    // painted, then the whole text laid out; beside it the whole rendering
    // shown at once in the same view.
    Selection Select()
    {
        m_window.Tree().SelectItem(m_root);
        QCoreApplication::processEvents();
        Selection figures;
        figures.idleKeyMs = Keystroke();
        const std::string stored = Connection()->GetDefinitions(Node());
        const RenderedDefinitions whole = RenderDefinitions(QString::fromUtf8(stored.data(), qsizetype(stored.size())));
        RichTextView* view = m_window.DefinitionView();
        GapWatch gaps;
        QElapsedTimer timer;
        timer.start();
        m_window.Tree().SelectItem(Node());
        QCoreApplication::processEvents();
        figures.firstMs = Ms(timer);
        figures.keyMs = Keystroke();
        Until([&] { return view->document()->characterCount() - 1 >= whole.text.size(); });
        figures.gapMs = gaps.LargestMs();
        LayOut(*view);
        figures.fullMs = Ms(timer);
        if (!Shown())
            std::printf("  (the view does not show the whole text)\n");
        timer.restart();
        const RenderedDefinitions again = RenderDefinitions(QString::fromUtf8(stored.data(), qsizetype(stored.size())));
        view->ShowRendered(again.text, again.linkRuns, again.separators);
        QCoreApplication::processEvents();
        figures.wholeShownMs = Ms(timer);
        LayOut(*view);
        figures.wholeMs = Ms(timer);
        return figures;
    }

    // Ctrl+F and the word typed a key every 50 ms as soon as the node is
    // selected, while the view fills.
    Finding FindWhileFilling(const QString& word)
    {
        m_window.Tree().SelectItem(m_root);
        QCoreApplication::processEvents();
        QLineEdit* field = m_window.Find()->Field();
        const ViewFinder& finder = m_window.Find()->Finder();
        const auto filled = Filled();
        field->clear();
        Finding figures;
        GapWatch gaps;
        m_window.Tree().SelectItem(Node());
        QTest::keyClick(&m_window, Qt::Key_F, Qt::ControlModifier);
        QElapsedTimer timer;
        for (const QChar c : word) {
            Pause(50);
            timer.start();
            QTest::keyClick(field, c.toLatin1());
        }
        Until([&] {
            return m_window.DefinitionView()->textCursor().selectedText().compare(word, Qt::CaseInsensitive) == 0;
        });
        figures.firstMatchMs = Ms(timer);
        Until([&] { return filled() && finder.IsComplete(); });
        figures.allMs = Ms(timer);
        figures.gapMs = gaps.LargestMs();
        figures.matches = finder.MatchCount();
        QTest::keyClick(field, Qt::Key_Escape);
        return figures;
    }
    // A node of one long line selected and shown whole, then Ctrl+F, the
    // word typed, F3 thrice, Shift+F3 twice, the view scrolled along the
    // line by pages, to its end and back, and repainted: the longest
    // event-loop gap of selecting, and of finding.
    std::pair<qint64, qint64> FindOnLongLine(const QString& word)
    {
        RichTextView* view = m_window.DefinitionView();
        QLineEdit* field = m_window.Find()->Field();
        m_window.Tree().SelectItem(m_root);
        QCoreApplication::processEvents();
        const auto filled = Filled();
        field->clear();
        GapWatch selecting;
        m_window.Tree().SelectItem(Node());
        Until(filled);
        Pause(50);
        const qint64 selectGap = selecting.LargestMs();
        GapWatch gaps;
        QTest::keyClick(&m_window, Qt::Key_F, Qt::ControlModifier);
        for (const QChar c : word) {
            Pause(50);
            QTest::keyClick(field, c.toLatin1());
        }
        const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers, int times) {
            for (int i = 0; i < times; ++i) {
                Pause(50);
                QTest::keyClick(field, key, modifiers);
            }
        };
        press(Qt::Key_F3, Qt::NoModifier, 3);
        press(Qt::Key_F3, Qt::ShiftModifier, 2);
        QScrollBar* sideways = view->horizontalScrollBar();
        for (int i = 0; i < 5; ++i) {
            Pause(50);
            sideways->triggerAction(QAbstractSlider::SliderPageStepAdd);
        }
        for (const int to : {sideways->maximum(), sideways->maximum() / 2, 0}) {
            Pause(50);
            sideways->setValue(to);
            view->viewport()->repaint();
        }
        Pause(50);
        const qint64 findGap = gaps.LargestMs();
        QTest::keyClick(field, Qt::Key_Escape);
        return {selectGap, findGap};
    }
    // Ctrl+Plus, Ctrl+Minus and Ctrl+0 while the view fills: the longest gap.
    qint64 ZoomWhileFilling()
    {
        m_window.Tree().SelectItem(m_root);
        QCoreApplication::processEvents();
        const auto filled = Filled();
        GapWatch gaps;
        m_window.Tree().SelectItem(Node());
        for (const int key : {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Minus, Qt::Key_0}) {
            Pause(300);
            QTest::keyClick(m_window.DefinitionView(), Qt::Key(key), Qt::ControlModifier);
        }
        Until(filled);
        LayOut(*m_window.DefinitionView());
        return gaps.LargestMs();
    }

    // File, Save As... of the whole search: the longest event-loop gap and
    // the time until the file is written, and its size.
    Figures Save(const QString& path, SearchOutput::Format format, qint64& bytes)
    {
        m_window.Tree().SelectItem(m_root);
        QCoreApplication::processEvents();
        GapWatch gaps;
        QElapsedTimer total;
        total.start();
        m_window.Output()->SaveTo(path, format);
        Until([&] { return !m_window.Output()->IsBusy(); });
        const Figures figures{gaps.LargestMs(), total.elapsed()};
        bytes = QFileInfo(path).size();
        return figures;
    }

    static bool MeasuresKeystrokes() { return qgetenv("QUORLEX_BENCH_KEYSTROKE") == "1"; }

private:
    // A key typed through the X server into the word box: until the box
    // holds it. Assistive technology sees such a key before the window.
    double Keystroke()
    {
        if (!MeasuresKeystrokes())
            return 0;
        m_window.WordBox()->clear();
        m_window.WordBox()->setFocus();
        QElapsedTimer timer;
        timer.start();
        QProcess::startDetached("xdotool", {"key", "a"});
        // A key lost shows as ten seconds.
        Until([&] { return !m_window.WordBox()->text().isEmpty() || timer.elapsed() > 10000; });
        return Ms(timer);
    }
    static double Ms(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }
    bool Idle() { return m_window.Tree().GetItemImage(m_root) == 1; }
    HTREEITEM Node() { return m_window.Tree().GetChildItem(m_root, 0); }
    DictConnection* Connection() { return ConnectionRegistry::Instance().FindConnection("127.0.0.1"); }
    // A test cheap enough to be asked between two turns of the event loop:
    // the view holds as many characters as the node's rendered text.
    std::function<bool()> Filled()
    {
        const std::string stored = Connection()->GetDefinitions(Node());
        const qsizetype size =
            RenderDefinitions(QString::fromUtf8(stored.data(), qsizetype(stored.size()))).text.size();
        return [this, size] { return m_window.DefinitionView()->document()->characterCount() - 1 >= size; };
    }
    bool Shown()
    {
        const std::string stored = Connection()->GetDefinitions(Node());
        return m_window.DefinitionView()->toPlainText()
            == RenderDefinitions(QString::fromUtf8(stored.data(), qsizetype(stored.size()))).text;
    }

    ScriptedDictServer m_server;
    MainWindow m_window;
    HTREEITEM m_root = nullptr;
    bool m_bGo = false;
};

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    const int definitions = CountArgument(argc, argv, 1, 600);
    const int rounds = CountArgument(argc, argv, 2, 3);
    std::vector<QByteArray> paced;
    qsizetype bytes = Definition(0).size();
    for (int i = 1; i < definitions; ++i) {
        paced.push_back(Definition(i));
        bytes += paced.back().size();
    }
    std::vector<QByteArray> atOnce{std::accumulate(paced.begin(), paced.end(), QByteArray())};
    std::printf("%d definitions of about 1.8 KB (%.2f MB) into the main window, median of %d rounds:\n", definitions,
                static_cast<double>(bytes) / 1e6, rounds);
    for (const auto* rest : {&atOnce, &paced}) {
        std::vector<long long> gaps[2], totals[2];
        for (int round = 0; round < rounds; ++round)
            for (const bool selected : {false, true}) {
                Bench bench(Definition(0), *rest);
                const Figures figures = bench.Stream(selected);
                gaps[selected].push_back(figures.gapMs);
                totals[selected].push_back(figures.totalMs);
            }
        std::printf("  %s:\n", rest == &atOnce ? "sent all at once" : "paced, a definition every few ms");
        for (const bool selected : {false, true})
            std::printf("    %-18s longest event-loop gap %6lld ms, total %7lld ms\n",
                        selected ? "node selected:" : "no node selected:", Median(gaps[selected]),
                        Median(totals[selected]));
        std::printf("    total, selected / not selected: %.2f\n",
                    static_cast<double>(Median(totals[1])) / static_cast<double>(std::max(1LL, Median(totals[0]))));
    }

    std::printf("selecting a node, two links a line, median of %d rounds, ms:\n", rounds);
    std::printf(
        "  | stored   | first screen | longest gap | full text | whole: shown | whole: laid out | full / whole |\n");
    std::printf(
        "  |---------:|-------------:|------------:|----------:|-------------:|----------------:|-------------:|\n");
    // The last row's first line opens a brace that no closing brace ends:
    // every later one pairs with the closing brace after the next.
    for (const auto& [mebibytes, open] : {std::pair{1, false}, {8, false}, {24, false}, {24, true}}) {
        QByteArray reply = LargeReply(mebibytes);
        if (open)
            reply.insert(Header.size(), '{');
        const qsizetype firstEnd = reply.indexOf(".\r\n") + 3;
        Bench bench(reply.left(firstEnd), {reply.mid(firstEnd)});
        bench.Stream(false);
        std::vector<double> idleKeys, keys, first, full, wholeShown, whole;
        std::vector<qint64> gaps;
        for (int round = 0; round < rounds; ++round) {
            const Selection figures = bench.Select();
            idleKeys.push_back(figures.idleKeyMs);
            keys.push_back(figures.keyMs);
            first.push_back(figures.firstMs);
            gaps.push_back(figures.gapMs);
            full.push_back(figures.fullMs);
            wholeShown.push_back(figures.wholeShownMs);
            whole.push_back(figures.wholeMs);
        }
        std::printf("  | %2d MiB%s | %12.1f | %11lld | %9.1f | %12.1f | %15.1f | %12.2f |\n", mebibytes,
                    open ? " {" : "  ", Median(first), static_cast<long long>(Median(gaps)), Median(full),
                    Median(wholeShown), Median(whole), Median(full) / Median(whole));
        if (Bench::MeasuresKeystrokes())
            std::printf(
                "  |          | a key reaches the word box: root selected %.1f ms, right after selecting %.1f ms\n",
                Median(idleKeys), Median(keys));
    }
    {
        constexpr qsizetype Quinces = 20000;
        const QByteArray reply = LargeReply(24, Quinces);
        const qsizetype firstEnd = reply.indexOf(".\r\n") + 3;
        Bench bench(reply.left(firstEnd), {reply.mid(firstEnd)});
        bench.Stream(false);
        std::vector<qint64> gaps, zoomGaps;
        std::vector<double> first, all;
        qsizetype matches = 0;
        for (int round = 0; round < rounds; ++round) {
            const Finding figures = bench.FindWhileFilling("quince");
            gaps.push_back(figures.gapMs);
            first.push_back(figures.firstMatchMs);
            all.push_back(figures.allMs);
            matches = figures.matches;
            zoomGaps.push_back(bench.ZoomWhileFilling());
        }
        std::printf("a 24 MiB node as it fills, median of %d rounds:\n", rounds);
        std::printf("  Ctrl+F, \"quince\" typed (%lld matches found of %lld): longest event-loop gap %lld ms,\n"
                    "    from the last key: first match selected %.1f ms, every match found %.1f ms\n",
                    static_cast<long long>(matches), static_cast<long long>(Quinces),
                    static_cast<long long>(Median(gaps)), Median(first), Median(all));
        std::printf("  Ctrl+Plus twice, Ctrl+Minus, Ctrl+0: longest event-loop gap %lld ms\n",
                    static_cast<long long>(Median(zoomGaps)));
    }
    {
        // Words of ten characters, one match each: 104,858 in one line.
        QByteArray line;
        while (line.size() < (1 << 20))
            line += "ripe plum ";
        const QByteArray reply = Header + line + "\r\n.\r\n";
        Bench bench(reply, {});
        bench.Stream(false);
        std::vector<qint64> selectGaps, findGaps;
        for (int round = 0; round < rounds; ++round) {
            const auto [selectGap, findGap] = bench.FindOnLongLine("pe");
            selectGaps.push_back(selectGap);
            findGaps.push_back(findGap);
        }
        std::printf("one line of 1 MiB, \"pe\" %lld times in it, median of %d rounds:\n",
                    static_cast<long long>(line.count("pe")), rounds);
        std::printf("  selecting the node: longest event-loop gap %lld ms\n"
                    "  Ctrl+F, \"pe\" typed, F3, Shift+F3, scrolled along and repainted: longest event-loop gap "
                    "%lld ms\n",
                    static_cast<long long>(Median(selectGaps)), static_cast<long long>(Median(findGaps)));
    }
    {
        const QByteArray reply = LargeReply(24);
        const qsizetype firstEnd = reply.indexOf(".\r\n") + 3;
        Bench bench(reply.left(firstEnd), {reply.mid(firstEnd)});
        bench.Stream(false);
        QTemporaryDir folder;
        std::printf("File, Save As... of a 24 MiB search, median of %d rounds:\n", rounds);
        for (const auto format : {SearchOutput::Format::Html, SearchOutput::Format::Text}) {
            std::vector<qint64> gaps, totals;
            qint64 bytes = 0;
            for (int round = 0; round < rounds; ++round) {
                const Figures figures = bench.Save(folder.filePath("saved"), format, bytes);
                gaps.push_back(figures.gapMs);
                totals.push_back(figures.totalMs);
            }
            std::printf("  %-9s %6.2f MB: longest event-loop gap %3lld ms, written in %5lld ms\n",
                        format == SearchOutput::Format::Html ? "web page" : "text", static_cast<double>(bytes) / 1e6,
                        static_cast<long long>(Median(gaps)), static_cast<long long>(Median(totals)));
        }
    }
    std::printf(
        "reproduce: cmake --build BUILD --target bench_growing_view && BUILD/bench/app/bench_growing_view %d %d\n",
        definitions, rounds);
    return 0;
}
