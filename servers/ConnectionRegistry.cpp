#include "ConnectionRegistry.h"

#include "DictConnection.h"
#include "MessageBox.h"
#include "ServerListStore.h"

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

void ConnectionRegistry::AddListener(DefinitionListener* listener)
{
    m_listeners.push_back(listener);
    for (auto& [host, connection] : m_connections)
        connection->AddListener(listener);
}

void ConnectionRegistry::RemoveListener(DefinitionListener* listener)
{
    std::erase(m_listeners, listener);
    for (auto& [host, connection] : m_connections)
        connection->RemoveListener(listener);
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
    for (DefinitionListener* listener : m_listeners)
        slot->AddListener(listener);
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

bool ConnectionRegistry::IsAnyLookupPending() const
{
    for (const auto& [host, connection] : m_connections)
        if (connection->IsLookupPending())
            return true;
    return false;
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
    ServerListStore::Servers servers;
    m_bListUnloaded = !ServerListStore::Load(servers);
    if (m_bListUnloaded) {
        ShowMessageBox(nullptr, "Failed to load server list", "Error", MessageIcon::Error);
        return;
    }
    for (const auto& [host, port] : servers)
        AddServer(host, port);
}

void ConnectionRegistry::SaveServerList()
{
    if (!WriteServerList())
        ShowMessageBox(nullptr, "Failed to save server list", "Error", MessageIcon::Error);
}

bool ConnectionRegistry::WriteServerList()
{
    // The list could not be loaded and the user made none: whatever the
    // store holds, perhaps the user's list behind a permission, stays.
    if (m_bListUnloaded && m_connections.empty())
        return true;
    std::map<std::string, int> hostPorts;
    CopyHostPorts(hostPorts);
    const auto stored = m_bListUnloaded ? ServerListStore::Stored::NotLoaded : ServerListStore::Stored::Loaded;
    if (!ServerListStore::Save(hostPorts, stored))
        return false;
    // What was there is set aside: the file now holds this run's list.
    m_bListUnloaded = false;
    return true;
}
