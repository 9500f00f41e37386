#pragma once

#include "DefinitionListener.h"
#include "TreeCtrl.h"

#include <map>
#include <string>

// A connection's nodes in the results tree: its root, whose image shows
// the connection's state, and one node per database that returned
// definitions for the current word, holding their stored text. Without a
// tree it keeps nothing.
class ServerNodes : public DefinitionListener {
public:
    void InsertRootItem(TreeCtrl* tree, const DictConnection& connection);
    void RemoveRootItem();
    HTREEITEM GetRootItem() const { return m_hRootItem; }
    bool IsAttached() const { return m_pTree && m_hRootItem; }
    void RemoveDatabaseItems();
    // The node's stored text itself, or null: a view of a large text need
    // not copy it. It lives until the node is removed from the tree.
    const std::string* FindDefinitions(HTREEITEM item) const;
    // The node of a database of the current word, or null.
    HTREEITEM FindDatabaseItem(const std::string& database) const;

    void OnActivity(const DictConnection& connection, ConnectionActivity activity) override;
    void OnDefinitionsCleared(const DictConnection& connection) override;
    void OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                          const std::string& description) override;
    void OnDefinitionComplete(const DictConnection& connection, const std::string& database,
                              const std::string& text) override;

private:
    void SetRootImage(int image);
    void ForgetDatabaseItems();

    TreeCtrl* m_pTree = nullptr;
    HTREEITEM m_hRootItem = nullptr;
    std::map<std::string, HTREEITEM> m_databaseItems;
    std::map<HTREEITEM, std::string> m_definitions;
    int m_nActivityFrame = 0;
};
