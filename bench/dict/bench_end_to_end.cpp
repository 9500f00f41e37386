// End to end, side by side: DEFINE * of real words against a loopback
// dictd, from the search to the final status after the last definition
// is stored, beside a raw-socket floor that acknowledges at once and the
// dictd project's "dict" client (one process per word, as it is used).
// Usage: bench_end_to_end [ROUNDS] [quorlex|floor]
// With a side named, only that side's lookups run and nothing is printed:
// a run to count its system calls (strace -f), see bench/RESULTS.md.
#include "BenchCommon.h"
#include "DictdFixture.h"
#include "RawDictClient.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QTreeWidget>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::vector<std::string> Words = {"apple", "house", "run", "computer", "zebra", "love", "hacker", "ice cream"};

struct Samples {
    std::vector<long long> program, floor, client;
};

// The wall time of one "dict" run, or -1 when it could not run or failed.
long long TimeDictClient(int port, const std::string& word)
{
    const std::string portText = std::to_string(port);
    const char* argv[] = {"dict", "-h", "127.0.0.1", "-p", portText.c_str(), word.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "dict", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

void Report(const char* label, const Samples& samples)
{
    const double program = MedianMs(samples.program);
    const double floor = MedianMs(samples.floor);
    const double client = MedianMs(samples.client);
    std::printf("| %-10s | %8.3f | %8.3f | %8.3f | %5.2fx | %6.2fx |\n", label, program, floor, client,
                floor > 0 ? program / floor : 0, floor > 0 ? client / floor : 0);
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rounds = CountArgument(argc, argv, 1, 21);
    const std::string only = argc > 2 ? argv[2] : "";

    const DictdFixture dictd;
    RawDictClient raw;
    if (dictd.Port() == 0 || !raw.Connect(dictd.Port())) {
        std::fprintf(stderr, "no loopback dictd\n");
        return 1;
    }
    QTreeWidget widget;
    TreeCtrl tree(&widget);
    TimedConnection connection("127.0.0.1", dictd.Port());
    connection.Open(&tree);

    std::vector<Samples> perWord(Words.size());
    Samples all;
    if (!only.empty()) {
        for (int round = 0; round < rounds; ++round)
            for (const std::string& word : Words)
                if ((only == "floor" ? raw.TimeDefine(word) : connection.TimeDefine(word)) < 0)
                    return 1;
        connection.RemoveRootItem();
        return 0;
    }
    for (int round = -1; round < rounds; ++round) {
        for (std::size_t w = 0; w < Words.size(); ++w) {
            // Who goes first alternates: the second finds dictd's caches warm.
            long long program = 0, floor = 0;
            if (round % 2 == 0) {
                program = connection.TimeDefine(Words[w]);
                floor = raw.TimeDefine(Words[w]);
            } else {
                floor = raw.TimeDefine(Words[w]);
                program = connection.TimeDefine(Words[w]);
            }
            const long long client = TimeDictClient(dictd.Port(), Words[w]);
            if (program < 0 || floor < 0) {
                std::fprintf(stderr, "\"%s\" failed\n", Words[w].c_str());
                return 1;
            }
            if (round < 0)
                continue;  // warm-up: dictd's pages and our caches
            for (Samples* s : {&perWord[w], &all}) {
                s->program.push_back(program);
                s->floor.push_back(floor);
                if (client >= 0)
                    s->client.push_back(client);
            }
        }
    }
    connection.RemoveRootItem();

    std::printf("DEFINE * end to end against dictd on 127.0.0.1, median of %d rounds, ms:\n\n", rounds);
    std::printf("| word       |  Quorlex |    floor |     dict | Quorlex/floor | dict/floor |\n");
    std::printf("|------------|---------:|---------:|---------:|------:|-------:|\n");
    for (std::size_t w = 0; w < Words.size(); ++w)
        Report(Words[w].c_str(), perWord[w]);
    Report("all words", all);
    if (all.client.empty())
        std::printf("\n(the dict client did not run: is Debian's package dict installed?)\n");
    std::printf("\nreproduce: cmake --build BUILD --target bench_end_to_end && (cd /tmp && "
                "BUILD/bench/dict/bench_end_to_end %d)\n",
                rounds);
    return 0;
}
