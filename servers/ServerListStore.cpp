#include "ServerListStore.h"

#include "RegStore.h"

#include <cstdint>

namespace {
const std::string ServersKey = "Software\\Tallowmere\\Quorlex\\Servers";

void AddServer(ServerListStore::Servers& servers, const RegValue& value)
{
    if (value.type == RegType::Dword && value.data.size() == 4)
        servers.emplace_back(value.name, static_cast<int>(DwordNumber(value.data)));
}
}  // namespace

bool ServerListStore::Load(Servers& servers)
{
    RegStore key;
    if (!key.Open(ServersKey, RegStore::Missing::Create))
        return false;
    RegValue value;
    for (std::size_t index = 0; key.EnumValue(index, value) == RegResult::Success; ++index)
        AddServer(servers, value);
    return key.Close();
}

bool ServerListStore::Read(Servers& servers)
{
    std::vector<RegValue> values;
    if (!RegStore::ReadValues(ServersKey, values))
        return false;
    for (const RegValue& value : values)
        AddServer(servers, value);
    return true;
}

bool ServerListStore::Save(const std::map<std::string, int>& hostPorts, Stored stored)
{
    RegStore key;
    const auto unusable = stored == Stored::Loaded ? RegStore::Unusable::Replace : RegStore::Unusable::ReplaceAny;
    if (!key.Open(ServersKey, RegStore::Missing::Create, unusable))
        return false;
    // Every value goes, whatever its type; a deletion that fails ends the
    // clearing rather than repeating for ever.
    RegValue value;
    while (key.EnumValue(0, value) == RegResult::Success && key.DeleteValue(value.name) == RegResult::Success) {
    }
    for (const auto& [host, port] : hostPorts)
        key.SetValue(host, RegType::Dword, DwordData(static_cast<std::uint32_t>(port)));
    return key.Close();
}
