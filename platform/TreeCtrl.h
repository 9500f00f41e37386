#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QIcon;
class QString;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// Opaque node handle; null means no node.
struct TreeNode;
using HTREEITEM = TreeNode*;

// Where a new node goes among its siblings.
enum class TreeInsert { Last, Sort };

// The results tree: nodes with a text, one image index (the selected image
// always equals it) and item data; selection changes are reported
// synchronously, also when a deletion moves the selection.
class TreeCtrl {
public:
    explicit TreeCtrl(QTreeWidget* widget);
    ~TreeCtrl();

    HTREEITEM InsertItem(const std::string& text, int image, HTREEITEM parent, TreeInsert after);
    void SetItemImage(HTREEITEM item, int image);
    int GetItemImage(HTREEITEM item) const;
    void SetItemData(HTREEITEM item, std::uintptr_t data);
    std::uintptr_t GetItemData(HTREEITEM item) const;
    std::string GetItemText(HTREEITEM item) const;
    // Deletes the node with all its descendants.
    void DeleteItem(HTREEITEM item);
    // Deletes every child of the node, with their descendants, at once: in
    // time linear in their number, where deleting them one by one costs a
    // search of the remaining siblings each. A selection among them moves
    // to the node.
    void DeleteChildren(HTREEITEM parent);
    HTREEITEM GetSelectedItem() const;
    // Selects the node, or nothing when null; notifies before returning.
    void SelectItem(HTREEITEM item);
    // Shows the node's children.
    void Expand(HTREEITEM item);

    HTREEITEM GetRootItem(int index) const;
    int GetRootCount() const;
    HTREEITEM GetChildItem(HTREEITEM parent, int index) const;
    int GetChildCount(HTREEITEM parent) const;

    // Each image with what it means in words, which assistive technology
    // reads as the description of a node showing it.
    void SetImageList(const std::vector<QIcon>& images, const std::vector<QString>& meanings);
    void SetSelChangedHandler(std::function<void(HTREEITEM)> handler);
    // Told, before the change itself is reported, of a selection that the
    // user made in the tree: one that no call here made.
    void SetUserSelectedHandler(std::function<void(HTREEITEM)> handler);
    // The selected node's content grew; whoever shows it refreshes in its
    // own time rather than on every addition.
    void NotifySelectedItemGrew();
    void SetSelectedItemGrewHandler(std::function<void(HTREEITEM)> handler);

    QTreeWidget* Widget() const { return m_pWidget; }

private:
    static QTreeWidgetItem* Item(HTREEITEM item);
    static HTREEITEM Handle(QTreeWidgetItem* item);
    void RefreshIcons();
    void ResizeColumnWithin(int milliseconds);
    void RefreshWithin(int milliseconds);
    void RefreshDeferred();
    QTreeWidgetItem* SelectionAfterDeleting(QTreeWidgetItem* doomed) const;

    QTreeWidget* m_pWidget;
    std::vector<QIcon> m_images;
    std::vector<QString> m_meanings;
    std::unique_ptr<QTimer> m_pRefreshTimer;
    bool m_bColumnStale = false;
    // Calls here under way that may move the selection.
    int m_nOwnSelections = 0;
    std::function<void(HTREEITEM)> m_onSelChanged;
    std::function<void(HTREEITEM)> m_onUserSelected;
    std::function<void(HTREEITEM)> m_onSelectedItemGrew;
};
