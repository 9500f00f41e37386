// A DEFINE reply of about 20 MB (gcide text in 151 blocks) received over
// loopback by a DictConnection with its transcript on, beside two floors: a
// plain loop reading the same bytes from a socket and writing each line to a
// file with a flush, and the same loop with one flush per read, as the
// connection writes its records. Then a reply that never ends, looked up
// until the transcript is full: the resident size and the transcript stay
// at their limits. Usage: bench_large_reply [MEGABYTES] [ROUNDS]
#include "BenchCommon.h"
#include "BlockingReplyServer.h"
#include "ConnectLoopback.h"
#include "ProcStatusKb.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

const char Header[] = "151 \"%s\" gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n";
constexpr int LinesPerDefinition = 24;

// Real dictionary lines, cut into definitions of a couple of dozen lines.
std::string BuildReply(std::size_t size)
{
    FILE* text = ::popen("gzip -dc /usr/share/dictd/gcide.dict.dz", "r");
    if (!text)
        return {};
    std::string body;
    std::string definition;
    int lines = 0;
    int count = 0;
    char line[65536];
    while (body.size() < size && std::fgets(line, sizeof line, text)) {
        std::string content(line);
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.pop_back();
        definition += (content == "." ? ".." : content) + "\r\n";
        if (++lines < LinesPerDefinition)
            continue;
        char header[256];
        const std::string word = definition.substr(0, std::min<std::size_t>(definition.find_first_of(" \r"), 40));
        std::snprintf(header, sizeof header, Header, word.c_str());
        body += header + definition + ".\r\n";
        definition.clear();
        lines = 0;
        ++count;
    }
    ::pclose(text);
    return "150 " + std::to_string(count) + " definitions retrieved\r\n" + body
        + "250 ok [d/m/c = 0/0/0; 0.000r 0.000u 0.000s]\r\n";
}

qint64 TimeDictConnection(int port)
{
    QTreeWidget widget;
    TreeCtrl tree(&widget);
    TimedConnection connection("127.0.0.1", port);
    connection.Open(&tree);
    const qint64 elapsed = connection.TimeDefine("apple");
    connection.RemoveRootItem();
    connection.Close();
    return elapsed;
}

// Reads until a line starting with `last` has come, each line to the file
// followed by a flush, or with one flush after each read's lines.
bool ReadLinesUntil(int s, const std::string& last, std::ofstream& file, bool flushEachLine)
{
    std::string pending;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t n = ::recv(s, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            return false;
        pending.append(buffer.data(), static_cast<std::size_t>(n));
        std::size_t start = 0, end;
        bool done = false;
        while (!done && (end = pending.find("\r\n", start)) != std::string::npos) {
            file.write(pending.data() + start, static_cast<std::streamsize>(end - start)).put('\n');
            if (flushEachLine)
                file.flush();
            done = pending.compare(start, last.size(), last) == 0;
            start = end + 2;
        }
        file.flush();
        if (done)
            return true;
        pending.erase(0, start);
    }
}

qint64 TimeFloor(int port, bool flushEachLine)
{
    const int s = ConnectLoopback(port);
    std::ofstream file("floor.log", std::ios::out | std::ios::trunc);
    if (s < 0 || !ReadLinesUntil(s, "220 ", file, flushEachLine))
        return -1;
    QElapsedTimer timer;
    timer.start();
    const std::string command = "DEFINE * \"apple\"\r\n";
    ::send(s, command.data(), command.size(), 0);
    const bool complete = ReadLinesUntil(s, "250 ", file, flushEachLine);
    const qint64 elapsed = timer.nsecsElapsed();
    ::close(s);
    return complete ? elapsed : -1;
}

// Each lookup reconnects and is given up at the reply limit; five of them
// reach the transcript's limit.
bool MeasureEndlessReply()
{
    constexpr int Lookups = 5;
    std::string tail;
    for (int i = 0; tail.size() < 64 * 1024; ++i)
        tail += "  apple line " + std::to_string(i) + ": fruit with red or yellow or green skin\r\n";
    BlockingReplyServer server("150 1 definitions retrieved\r\n151 \"apple\" gcide \"GCIDE\"\r\n", tail);
    const long startKb = ProcStatusKb("VmRSS");
    QTreeWidget widget;
    TreeCtrl tree(&widget);
    TimedConnection connection("127.0.0.1", server.Port());
    if (!server.Port() || !connection.Open(&tree))
        return false;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Lookups; ++i) {
        connection.Define("apple");
        while (connection.GetState() != ConnectionState::Closed)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const auto transcript = std::filesystem::file_size("127.0.0.1.log");
    connection.RemoveRootItem();
    std::printf("a reply that never ends, %d lookups (%.1f s), each given up at %zu MiB:\n", Lookups, seconds,
                ConnectionLimits::MaxReplyBytes >> 20);
    std::printf("  resident size: %ld kB before, peak %ld kB\n", startKb, ProcStatusKb("VmHWM"));
    std::printf("  transcript:    %ju bytes (limit %ju)\n", static_cast<std::uintmax_t>(transcript),
                static_cast<std::uintmax_t>(ConnectionLimits::MaxTranscriptBytes));
    return transcript <= ConnectionLimits::MaxTranscriptBytes;
}

double MBps(std::size_t bytes, qint64 nanoseconds)
{
    return bytes / 1e6 / (nanoseconds / 1e9);
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int megabytes = CountArgument(argc, argv, 1, 20);
    const int rounds = CountArgument(argc, argv, 2, 3);
    // First, while the process is small, so that its peak is the endless reply's.
    if (!MeasureEndlessReply())
        return 1;

    const std::string reply = BuildReply(static_cast<std::size_t>(megabytes) * 1000 * 1000);
    if (reply.size() < 1000)
        return 1;
    BlockingReplyServer server(reply);
    if (!server.Port())
        return 1;
    std::vector<qint64> connectionTimes, lineFloorTimes, readFloorTimes;
    for (int round = 0; round < rounds; ++round) {
        lineFloorTimes.push_back(TimeFloor(server.Port(), true));
        readFloorTimes.push_back(TimeFloor(server.Port(), false));
        connectionTimes.push_back(TimeDictConnection(server.Port()));
    }
    const qint64 connection = Median(connectionTimes);
    const qint64 lineFloor = Median(lineFloorTimes);
    const qint64 readFloor = Median(readFloorTimes);
    std::printf("DEFINE reply of %.1f MB (%zu lines) over 127.0.0.1, median of %d rounds:\n", reply.size() / 1e6,
                static_cast<std::size_t>(std::count(reply.begin(), reply.end(), '\n')), rounds);
    std::printf("  DictConnection, transcript on:           %8.1f MB/s  (%.0f ms)\n", MBps(reply.size(), connection),
                connection / 1e6);
    std::printf("  floor, plain read + each line flushed:   %8.1f MB/s  (%.0f ms)\n", MBps(reply.size(), lineFloor),
                lineFloor / 1e6);
    std::printf("  floor, plain read + one flush per read:  %8.1f MB/s  (%.0f ms)\n", MBps(reply.size(), readFloor),
                readFloor / 1e6);
    std::printf("reproduce: cmake --build BUILD --target bench_large_reply && (cd /tmp && "
                "BUILD/bench/dict/bench_large_reply %d %d)\n",
                megabytes, rounds);
    return connection < 0 || lineFloor < 0 || readFloor < 0 ? 1 : 0;
}
