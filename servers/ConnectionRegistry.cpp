#include "ConnectionRegistry.h"

#include "DictConnection.h"
#include "MessageBox.h"
#include "RegStore.h"

#include <cstdint>

namespace {
const std::string ServersKey = "Software\\Tallowmere\\Quorlex\\Servers";

bool OpenServersKey(RegStore& key, const std::string& failure)
{
    RegStore::CreateKey(ServersKey);
    if (key.Open(ServersKey))
        return true;
    ShowMessageBox(nullptr, failure, "Error", MessageIcon::Error);
    return false;
}
}  // namespace

ConnectionRegistry& ConnectionRegistry::Instance()
{
    static ConnectionRegistry* registry = new ConnectionRegistry;  // outlives every window
    return *registry;
}

void ConnectionRegistry::AttachTree(TreeCtrl* tree)
{
    m_pResultsTree = tree;
    for (auto& [host, connection] : m_connections)
        connection->InsertRootItem(tree);
}

void ConnectionRegistry::DefineAll(const std::string& word)
{
    for (auto& [host, connection] : m_connections)
        connection->Define(word);
}

void ConnectionRegistry::AddServer(const std::string& host, int port)
{
    auto& slot = m_connections[host];
    slot = std::make_unique<DictConnection>(host, port);
    slot->InsertRootItem(m_pResultsTree);
    slot->Create();
    slot->ConnectToServer();
}

void ConnectionRegistry::RemoveServer(const std::string& host)
{
    const auto found = m_connections.find(host);
    if (found == m_connections.end())
        return;
    // The branch leaves the tree while the connection is still alive: a
    // selection handler running during the deletion may call it.
    found->second->RemoveRootItem();
    found->second->Close();
    m_connections.erase(found);
}

bool ConnectionRegistry::HasServer(const std::string& host) const
{
    return m_connections.count(host) != 0;
}

void ConnectionRegistry::CopyHostPorts(std::map<std::string, int>& hostPorts) const
{
    for (const auto& [host, connection] : m_connections)
        hostPorts.emplace(host, connection->GetPort());
}

DictConnection* ConnectionRegistry::FindConnection(const std::string& host) const
{
    const auto found = m_connections.find(host);
    return found == m_connections.end() ? nullptr : found->second.get();
}

void ConnectionRegistry::RemoveAllServers()
{
    while (!m_connections.empty())
        RemoveServer(m_connections.begin()->first);
}

void ConnectionRegistry::LoadServerList()
{
    RegStore key;
    if (!OpenServersKey(key, "Failed to load server list"))
        return;
    RegValue value;
    for (std::size_t index = 0; key.EnumValue(index, value) != RegResult::NoMoreItems; ++index)
        if (value.type == RegType::Dword && value.data.size() == 4)
            AddServer(value.name, static_cast<int>(DwordNumber(value.data)));
    key.Close();
}

void ConnectionRegistry::SaveServerList()
{
    RegStore key;
    if (!OpenServersKey(key, "Failed to save server list"))
        return;
    // Every value goes, whatever its type; a deletion that fails ends the
    // clearing rather than repeating for ever.
    RegValue value;
    while (key.EnumValue(0, value) == RegResult::Success && key.DeleteValue(value.name) == RegResult::Success) {
    }
    for (const auto& [host, connection] : m_connections)
        key.SetValue(host, RegType::Dword, DwordData(static_cast<std::uint32_t>(connection->GetPort())));
    key.Close();
}
