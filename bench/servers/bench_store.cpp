// Loading and saving the stored server list: the store's whole part of
// LoadServerList and SaveServerList, file included, with no connections.
// Each save replaces a list of as many servers.
// Usage: bench_store [ROUNDS]
#include "BenchCommon.h"
#include "ServerListStore.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

long long NsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

std::map<std::string, int> HostPorts(int count)
{
    std::map<std::string, int> hostPorts;
    for (int i = 0; i < count; ++i)
        hostPorts.emplace("dict" + std::to_string(i) + ".example.org", 1 + i % 65535);
    return hostPorts;
}

// False when the store does not give the list back.
bool Measure(int count, int rounds)
{
    const std::map<std::string, int> hostPorts = HostPorts(count);
    std::vector<long long> loads;
    std::vector<long long> saves;
    if (!ServerListStore::Save(hostPorts))
        return false;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (!ServerListStore::Save(hostPorts))
            return false;
        saves.push_back(NsSince(start));
        ServerListStore::Servers servers;
        start = std::chrono::steady_clock::now();
        if (!ServerListStore::Load(servers) || servers.size() != hostPorts.size())
            return false;
        loads.push_back(NsSince(start));
    }
    std::printf("  %6d servers:  load %8.2f ms   save %8.2f ms\n", count, MedianMs(loads), MedianMs(saves));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = CountArgument(argc, argv, 1, 9);
    QTemporaryDir profile;
    if (!profile.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", profile.path().toLocal8Bit());
    std::printf("stored server list, load and save, median of %d rounds:\n", rounds);
    for (const int count : {100, 1000, 10000})
        if (!Measure(count, rounds))
            return 1;
    std::printf("reproduce: cmake --build BUILD --target bench_store && BUILD/bench/servers/bench_store %d\n", rounds);
    return 0;
}
