// Any bytes as the stored server list: the load neither crashes nor hangs;
// what it gave comes back after a save and a second load, and a second
// save writes the very bytes of the first, lines it could not read included.

#include "FileBytes.h"
#include "RegStore.h"
#include "ServerListStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <map>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString path = [] {
        static const QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        return RegStore::FilePath();
    }();
    WriteFileBytes(path, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    ServerListStore::Servers loaded;
    if (ServerListStore::Load(loaded)) {
        const std::map<std::string, int> hostPorts(loaded.begin(), loaded.end());
        ServerListStore::Servers reloaded;
        if (hostPorts.size() != loaded.size() || !ServerListStore::Save(hostPorts))
            std::abort();
        const QByteArray saved = ReadFileBytes(path);
        if (!ServerListStore::Load(reloaded)
            || std::map<std::string, int>(reloaded.begin(), reloaded.end()) != hostPorts
            || reloaded.size() != loaded.size() || !ServerListStore::Save(hostPorts) || ReadFileBytes(path) != saved)
            std::abort();
    }
    QFile::remove(path + ".unreadable-1");
    return 0;
}
