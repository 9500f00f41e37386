#include "ServerNodes.h"

#include "DictConnection.h"

#include <cstdint>

namespace {

constexpr int ImageClosed = 0;
constexpr int ImageIdle = 1;
constexpr int ImageDatabase = 2;
constexpr int ImageDatabaseWithDefinitions = 3;
constexpr int ImageFirstActivityFrame = 4;
constexpr char Separator[] = "<qrlexsep>\n";

}  // namespace

void ServerNodes::InsertRootItem(TreeCtrl* tree, const DictConnection& connection)
{
    RemoveRootItem();
    m_pTree = tree;
    if (m_pTree)
        m_hRootItem = m_pTree->InsertItem(connection.GetHost() + ":" + std::to_string(connection.GetPort()),
                                          ImageClosed, nullptr, TreeInsert::Last);
}

void ServerNodes::RemoveRootItem()
{
    if (IsAttached())
        m_pTree->DeleteItem(m_hRootItem);
    // The database nodes went with the root; their handles are dead.
    ForgetDatabaseItems();
    m_pTree = nullptr;
    m_hRootItem = nullptr;
}

void ServerNodes::ForgetDatabaseItems()
{
    m_databaseItems.clear();
    m_definitions.clear();
}

// The root's children are exactly the database nodes. Texts first: a
// deletion may move the selection onto another of our nodes.
void ServerNodes::RemoveDatabaseItems()
{
    ForgetDatabaseItems();
    if (IsAttached())
        m_pTree->DeleteChildren(m_hRootItem);
}

const std::string* ServerNodes::FindDefinitions(HTREEITEM item) const
{
    const auto found = m_definitions.find(item);
    return found == m_definitions.end() ? nullptr : &found->second;
}

HTREEITEM ServerNodes::FindDatabaseItem(const std::string& database) const
{
    const auto found = m_databaseItems.find(database);
    return found == m_databaseItems.end() ? nullptr : found->second;
}

void ServerNodes::SetRootImage(int image)
{
    if (IsAttached())
        m_pTree->SetItemImage(m_hRootItem, image);
}

void ServerNodes::OnActivity(const DictConnection&, ConnectionActivity activity)
{
    switch (activity) {
    case ConnectionActivity::Closed:
        SetRootImage(ImageClosed);
        RemoveDatabaseItems();
        break;
    case ConnectionActivity::Idle: SetRootImage(ImageIdle); break;
    case ConnectionActivity::Busy:
        SetRootImage(ImageFirstActivityFrame + m_nActivityFrame);
        m_nActivityFrame = (m_nActivityFrame + 1) % 3;
        break;
    }
}

void ServerNodes::OnDefinitionsCleared(const DictConnection&)
{
    RemoveDatabaseItems();
}

void ServerNodes::OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                                   const std::string& description)
{
    if (!IsAttached())
        return;
    auto found = m_databaseItems.find(database);
    if (found == m_databaseItems.end()) {
        const HTREEITEM item = m_pTree->InsertItem(description, ImageDatabase, m_hRootItem, TreeInsert::Sort);
        // The tree's users reach the node's connection through its data.
        m_pTree->SetItemData(item, reinterpret_cast<std::uintptr_t>(&connection));
        found = m_databaseItems.emplace(database, item).first;
    }
    m_pTree->SetItemImage(found->second, ImageDatabaseWithDefinitions);
}

void ServerNodes::OnDefinitionComplete(const DictConnection&, const std::string& database, const std::string& text)
{
    const HTREEITEM item = FindDatabaseItem(database);
    if (!item || !IsAttached())
        return;
    std::string& stored = m_definitions[item];
    if (!stored.empty())
        stored += Separator;
    stored += text;
    if (m_pTree->GetSelectedItem() == item)
        m_pTree->NotifySelectedItemGrew();
}
