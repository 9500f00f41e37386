// The desktop's search, term to reply: GetInitialResultSet on a warm
// search service whose one stored server is a loopback dictd, beside a
// raw socket's DEFINE * of the same word on the same dictd, interleaved;
// then the first query on a cold service, which a private bus (of the
// tests' configuration) starts from the build tree's service file: a word,
// and a two-character term answered without a server (the start alone).
// Usage: bench_search_service [ROUNDS] [COLD_STARTS]
#include "BenchCommon.h"
#include "DictdFixture.h"
#include "RawDictClient.h"
#include "ServerListStore.h"
#include "SessionBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char Service[] = "org.tallowmere.Quorlex.SearchProvider";
const std::vector<std::string> Words = {"apple", "house", "run", "computer", "zebra", "love", "hacker", "ice cream"};

// Nanoseconds from the call to its reply, or -1 when the reply is an
// error or, for a word that has definitions, holds no result.
long long TimeQuery(const QDBusConnection& bus, const std::string& word, bool expectResults)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, "/org/tallowmere/Quorlex/SearchProvider",
                                                       "org.gnome.Shell.SearchProvider2", "GetInitialResultSet");
    call << QString::fromStdString(word).split(u' ');
    const auto start = std::chrono::steady_clock::now();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    const auto end = std::chrono::steady_clock::now();
    if (reply.type() != QDBusMessage::ReplyMessage
        || reply.arguments().value(0).toStringList().isEmpty() == expectResults)
        return -1;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    const int rounds = CountArgument(argc, argv, 1, 21);
    const int coldStarts = CountArgument(argc, argv, 2, 11);

    // The service reads the store and writes its transcripts under this home.
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qputenv(variable, home.path().toUtf8());
    const DictdFixture dictd;
    RawDictClient raw;
    if (!home.isValid() || dictd.Port() == 0 || !raw.Connect(dictd.Port())) {
        std::fprintf(stderr, "no loopback dictd\n");
        return 1;
    }
    if (!ServerListStore::Save({{"127.0.0.1", dictd.Port()}})) {
        std::fprintf(stderr, "cannot store the server list\n");
        return 1;
    }
    SessionBus session(QUORLEX_SESSION_BUS_CONFIG);
    const QDBusConnection bus = QDBusConnection::connectToBus(session.Address(), "bench");
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no private session bus\n");
        return 1;
    }

    std::vector<std::vector<long long>> service(Words.size()), floor(Words.size());
    std::vector<long long> allService, allFloor;
    // Round -1 starts the service and warms dictd's pages.
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t w = 0; w < Words.size(); ++w) {
            // Who goes first alternates: the second finds dictd's caches warm.
            long long query = 0, define = 0;
            if (round % 2 == 0) {
                query = TimeQuery(bus, Words[w], true);
                define = raw.TimeDefine(Words[w]);
            } else {
                define = raw.TimeDefine(Words[w]);
                query = TimeQuery(bus, Words[w], true);
            }
            if (query < 0 || define < 0) {
                std::fprintf(stderr, "\"%s\" failed\n", Words[w].c_str());
                return 1;
            }
            if (round < 0)
                continue;
            service[w].push_back(query);
            floor[w].push_back(define);
            allService.push_back(query);
            allFloor.push_back(define);
        }
    }

    // Each start ends the running service first; the two kinds alternate.
    std::vector<long long> coldWord, coldShort;
    for (int start = 0; start < coldStarts; ++start) {
        session.EndOwner(Service);
        const long long word = TimeQuery(bus, "apple", true);
        session.EndOwner(Service);
        const long long term = TimeQuery(bus, "ab", false);
        if (word < 0 || term < 0) {
            std::fprintf(stderr, "a cold query failed\n");
            return 1;
        }
        coldWord.push_back(word);
        coldShort.push_back(term);
    }

    std::printf("GetInitialResultSet on a warm search service beside a raw DEFINE * on the same dictd "
                "(127.0.0.1), median of %d rounds, ms:\n\n",
                rounds);
    std::printf("| word | service | raw DEFINE | service - raw | service/raw |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    const auto report = [](const char* label, const std::vector<long long>& query,
                           const std::vector<long long>& define) {
        const double q = MedianMs(query), d = MedianMs(define);
        std::printf("| %s | %.3f | %.3f | %.3f | %.2fx |\n", label, q, d, q - d, d > 0 ? q / d : 0);
    };
    for (std::size_t w = 0; w < Words.size(); ++w)
        report(Words[w].c_str(), service[w], floor[w]);
    report("all words", allService, allFloor);
    std::printf("\nThe first query on a cold service, the bus starting it, median of %d starts, ms:\n\n", coldStarts);
    std::printf("| query | call to reply |\n|---|---:|\n");
    std::printf("| \"apple\" (start, connect, DEFINE *) | %.3f |\n", MedianMs(coldWord));
    std::printf("| \"ab\" (start alone, nothing sent) | %.3f |\n", MedianMs(coldShort));
    std::printf("\nreproduce: cmake --build BUILD --target bench_search_service && (cd /tmp && "
                "BUILD/bench/app/bench_search_service %d %d)\n",
                rounds, coldStarts);
    return 0;
}
