// Saves the server list over and over, alternating between two lists of the
// same hosts (ports 1000+i, then 2000+i), until it is killed. Prints "saved"
// once the first save is complete.
#include "ConnectionRegistry.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    constexpr int Hosts = 100;
    for (int round = 0;; ++round) {
        registry.RemoveAllServers();
        for (int i = 0; i < Hosts; ++i)
            registry.AddServer("127.0.1." + std::to_string(i + 1), (1 + round % 2) * 1000 + i);
        registry.SaveServerList();
        if (round == 0) {
            std::puts("saved");
            std::fflush(stdout);
        }
    }
}
