#include "TreeCtrl.h"

#include <QIcon>
#include <QTreeWidget>

namespace {
constexpr int ImageRole = Qt::UserRole;
constexpr int DataRole = Qt::UserRole + 1;

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor)
{
    for (; item; item = item->parent())
        if (item == ancestor)
            return true;
    return false;
}
}  // namespace

TreeCtrl::TreeCtrl(QTreeWidget* widget) : m_pWidget(widget)
{
    m_pWidget->setColumnCount(1);
    m_pWidget->setHeaderHidden(true);
    m_pWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(m_pWidget, &QTreeWidget::currentItemChanged, m_pWidget, [this](QTreeWidgetItem* current) {
        if (m_onSelChanged)
            m_onSelChanged(Handle(current));
    });
}

QTreeWidgetItem* TreeCtrl::Item(HTREEITEM item)
{
    return reinterpret_cast<QTreeWidgetItem*>(item);
}

HTREEITEM TreeCtrl::Handle(QTreeWidgetItem* item)
{
    return reinterpret_cast<HTREEITEM>(item);
}

HTREEITEM TreeCtrl::InsertItem(const std::string& text, int image, HTREEITEM parent, TreeInsert after)
{
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    item->setData(0, DataRole, QVariant::fromValue<quintptr>(0));
    ApplyIcon(item, image);
    QTreeWidgetItem* parentItem = parent ? Item(parent) : m_pWidget->invisibleRootItem();
    int position = parentItem->childCount();
    if (after == TreeInsert::Sort) {
        // Case-insensitive order, as a tree control sorts its labels.
        const QString label = item->text(0);
        position = 0;
        while (position < parentItem->childCount()
               && QString::compare(parentItem->child(position)->text(0), label, Qt::CaseInsensitive) <= 0)
            ++position;
    }
    parentItem->insertChild(position, item);
    return Handle(item);
}

void TreeCtrl::ApplyIcon(QTreeWidgetItem* item, int image) const
{
    item->setData(0, ImageRole, image);
    if (image >= 0 && static_cast<std::size_t>(image) < m_images.size())
        item->setIcon(0, m_images[static_cast<std::size_t>(image)]);
    else
        item->setIcon(0, QIcon());
}

void TreeCtrl::SetItemImage(HTREEITEM item, int image)
{
    if (item)
        ApplyIcon(Item(item), image);
}

int TreeCtrl::GetItemImage(HTREEITEM item) const
{
    return item ? Item(item)->data(0, ImageRole).toInt() : -1;
}

void TreeCtrl::SetItemData(HTREEITEM item, std::uintptr_t data)
{
    if (item)
        Item(item)->setData(0, DataRole, QVariant::fromValue<quintptr>(data));
}

std::uintptr_t TreeCtrl::GetItemData(HTREEITEM item) const
{
    return item ? Item(item)->data(0, DataRole).value<quintptr>() : 0;
}

std::string TreeCtrl::GetItemText(HTREEITEM item) const
{
    return item ? Item(item)->text(0).toStdString() : std::string();
}

QTreeWidgetItem* TreeCtrl::SelectionAfterDeleting(QTreeWidgetItem* doomed) const
{
    QTreeWidgetItem* parent = doomed->parent() ? doomed->parent() : m_pWidget->invisibleRootItem();
    const int index = parent->indexOfChild(doomed);
    if (index + 1 < parent->childCount())
        return parent->child(index + 1);
    if (index > 0)
        return parent->child(index - 1);
    return doomed->parent();
}

void TreeCtrl::DeleteItem(HTREEITEM item)
{
    if (!item)
        return;
    QTreeWidgetItem* doomed = Item(item);
    // Move the selection off the branch first, so that the handler sees a
    // living node and a deleted ancestor never leaves a silent null selection.
    if (IsWithin(m_pWidget->currentItem(), doomed))
        m_pWidget->setCurrentItem(SelectionAfterDeleting(doomed));
    delete doomed;
}

HTREEITEM TreeCtrl::GetSelectedItem() const
{
    return Handle(m_pWidget->currentItem());
}

void TreeCtrl::SelectItem(HTREEITEM item)
{
    m_pWidget->setCurrentItem(Item(item));
}

HTREEITEM TreeCtrl::GetRootItem(int index) const
{
    return Handle(m_pWidget->topLevelItem(index));
}

int TreeCtrl::GetRootCount() const
{
    return m_pWidget->topLevelItemCount();
}

HTREEITEM TreeCtrl::GetChildItem(HTREEITEM parent, int index) const
{
    return parent ? Handle(Item(parent)->child(index)) : nullptr;
}

int TreeCtrl::GetChildCount(HTREEITEM parent) const
{
    return parent ? Item(parent)->childCount() : 0;
}

void TreeCtrl::SetImageList(const std::vector<QIcon>& images)
{
    m_images = images;
    for (QTreeWidgetItemIterator it(m_pWidget); *it; ++it)
        ApplyIcon(*it, (*it)->data(0, ImageRole).toInt());
}

void TreeCtrl::SetSelChangedHandler(std::function<void(HTREEITEM)> handler)
{
    m_onSelChanged = std::move(handler);
}
