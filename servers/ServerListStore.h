#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

// The server list in the per-user store: one dword value per server, named
// by its host, under one key that is created when missing.
class ServerListStore {
public:
    using Servers = std::vector<std::pair<std::string, int>>;

    // The stored servers in store order; false when the key cannot be
    // opened. A file that cannot be read is left as it is.
    static bool Load(Servers& servers);
    // The same, read without taking the store's lock and never writing it,
    // for a process beside the window; false when the file cannot be read.
    static bool Read(Servers& servers);
    // Whether the program has the stored list: after a failed load the file
    // may still hold the user's list, which is set aside before a save.
    enum class Stored { Loaded, NotLoaded };

    // Replaces the stored values with these, a file the store cannot use
    // set aside first; false when the key cannot be opened or the store
    // not written.
    static bool Save(const std::map<std::string, int>& hostPorts, Stored stored = Stored::Loaded);
};
