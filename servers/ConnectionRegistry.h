#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class DefinitionListener;
class DictConnection;
class TreeCtrl;

// The live connections, one per configured server, keyed by host name in
// byte order. Owns every connection; lives until the process ends.
class ConnectionRegistry {
public:
    static ConnectionRegistry& Instance();

    void AttachTree(TreeCtrl* tree);
    // The listener hears every connection, those added later too, until
    // it is removed.
    void AddListener(DefinitionListener* listener);
    void RemoveListener(DefinitionListener* listener);
    void DefineAll(const std::string& word);
    void AddServer(const std::string& host, int port);
    void RemoveServer(const std::string& host);
    bool HasServer(const std::string& host) const;
    bool IsEmpty() const { return m_connections.empty(); }
    // Some connection's latest lookup is still on its way.
    bool IsAnyLookupPending() const;
    void CopyHostPorts(std::map<std::string, int>& hostPorts) const;
    // Both report a failure in a message box.
    void LoadServerList();
    void SaveServerList();
    // Saves without a message; false when the list did not reach the store.
    // After a failed load an empty list writes nothing, and any other list
    // sets the stored file aside before it is written.
    bool WriteServerList();

    // The connection for a host, or null; for tests and diagnostics.
    DictConnection* FindConnection(const std::string& host) const;
    // Removes every server; lets tests start from an empty registry.
    void RemoveAllServers();

private:
    ConnectionRegistry() = default;

    std::map<std::string, std::unique_ptr<DictConnection>> m_connections;
    TreeCtrl* m_pResultsTree = nullptr;
    std::vector<DefinitionListener*> m_listeners;
    // The last load failed: the list started empty.
    bool m_bListUnloaded = false;
};
