#include "TreeCtrl.h"

#include <QHeaderView>
#include <QIcon>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

namespace {

// The image index and item data live in the item itself, outside the
// model: a busy root changes its image on every received line, and a
// model change per line would cost more than the line. The icon shown
// follows at the next turn of the event loop.
class TreeItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    int image = -1;
    int shownImage = -1;
    std::uintptr_t data = 0;
};

// Siblings inserted sorted stay sorted: a binary search finds the place
// after every sibling that compares equal or less, without regard to case
// as a tree control sorts its labels.
int SortedPosition(const QTreeWidgetItem* parent, const QString& label)
{
    int low = 0, high = parent->childCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (QString::compare(parent->child(middle)->text(0), label, Qt::CaseInsensitive) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

TreeItem* AsTreeItem(QTreeWidgetItem* item)
{
    return static_cast<TreeItem*>(item);
}

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor)
{
    for (; item; item = item->parent())
        if (item == ancestor)
            return true;
    return false;
}
// One frame at 60 Hz: how late a change of the nodes may show.
constexpr int FrameMs = 16;

}  // namespace

TreeCtrl::TreeCtrl(QTreeWidget* widget) : m_pWidget(widget), m_pRefreshTimer(std::make_unique<QTimer>())
{
    m_pRefreshTimer->setSingleShot(true);
    QObject::connect(m_pRefreshTimer.get(), &QTimer::timeout, m_pRefreshTimer.get(), [this] { RefreshDeferred(); });
    m_pWidget->setColumnCount(1);
    m_pWidget->setHeaderHidden(true);
    // Texts are shown whole and the tree scrolls sideways: the column takes
    // the width of the widest text in and around view, measured again after
    // an insertion, a deletion, an expansion or a scroll, once per turn of
    // the event loop. The header's own sizing to contents would measure on
    // every change of any node, images included.
    m_pWidget->header()->setStretchLastSection(false);
    QTimer* const context = m_pRefreshTimer.get();
    for (auto shown : {&QTreeWidget::itemExpanded, &QTreeWidget::itemCollapsed})
        QObject::connect(m_pWidget, shown, context, [this] { ResizeColumnWithin(0); });
    QObject::connect(m_pWidget->verticalScrollBar(), &QScrollBar::valueChanged, context,
                     [this] { ResizeColumnWithin(0); });
    // Every row is one line with a small icon. Said so, the view finds a
    // row's place by arithmetic rather than by adding up the heights of all
    // the rows above it, which cost time quadratic in the nodes of a reply.
    m_pWidget->setUniformRowHeights(true);
    m_pWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(m_pWidget, &QTreeWidget::currentItemChanged, m_pWidget, [this](QTreeWidgetItem* current) {
        if (m_nOwnSelections == 0 && m_onUserSelected)
            m_onUserSelected(Handle(current));
        if (m_onSelChanged)
            m_onSelChanged(Handle(current));
    });
    // A press on the node already selected chooses it too.
    QObject::connect(m_pWidget, &QTreeWidget::itemPressed, m_pWidget, [this](QTreeWidgetItem* item) {
        if (m_onUserSelected)
            m_onUserSelected(Handle(item));
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

TreeCtrl::~TreeCtrl() = default;

HTREEITEM TreeCtrl::InsertItem(const std::string& text, int image, HTREEITEM parent, TreeInsert after)
{
    auto* item = new TreeItem(QStringList{QString::fromStdString(text)});
    item->image = image;
    QTreeWidgetItem* parentItem = parent ? Item(parent) : m_pWidget->invisibleRootItem();
    int position = parentItem->childCount();
    if (after == TreeInsert::Sort)
        position = SortedPosition(parentItem, item->text(0));
    parentItem->insertChild(position, item);
    ResizeColumnWithin(FrameMs);
    return Handle(item);
}

// A node inserted or deleted shows within a frame, an expansion or a
// scroll at the next turn of the event loop.
void TreeCtrl::ResizeColumnWithin(int milliseconds)
{
    m_bColumnStale = true;
    RefreshWithin(milliseconds);
}

// An earlier deadline already set stands.
void TreeCtrl::RefreshWithin(int milliseconds)
{
    if (!m_pRefreshTimer->isActive() || m_pRefreshTimer->remainingTime() > milliseconds)
        m_pRefreshTimer->start(milliseconds);
}

void TreeCtrl::RefreshDeferred()
{
    RefreshIcons();
    if (std::exchange(m_bColumnStale, false))
        m_pWidget->resizeColumnToContents(0);
}

void TreeCtrl::RefreshIcons()
{
    for (QTreeWidgetItemIterator it(m_pWidget); *it; ++it) {
        TreeItem* item = AsTreeItem(*it);
        if (item->shownImage == item->image)
            continue;
        const auto index = static_cast<std::size_t>(item->image);
        item->setIcon(0, index < m_images.size() ? m_images[index] : QIcon());
        item->setData(0, Qt::AccessibleDescriptionRole, index < m_meanings.size() ? m_meanings[index] : QString());
        item->shownImage = item->image;
    }
}

void TreeCtrl::SetItemImage(HTREEITEM item, int image)
{
    if (!item)
        return;
    AsTreeItem(Item(item))->image = image;
    // Shown within a frame, not at the next turn of the event loop: a busy
    // server's image changes with every line, and a turn of its own after
    // every read cost the reply one more wake-up each.
    RefreshWithin(FrameMs);
}

int TreeCtrl::GetItemImage(HTREEITEM item) const
{
    return item ? AsTreeItem(Item(item))->image : -1;
}

void TreeCtrl::SetItemData(HTREEITEM item, std::uintptr_t data)
{
    if (item)
        AsTreeItem(Item(item))->data = data;
}

std::uintptr_t TreeCtrl::GetItemData(HTREEITEM item) const
{
    return item ? AsTreeItem(Item(item))->data : 0;
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
    const QScopedValueRollback own(m_nOwnSelections, m_nOwnSelections + 1);
    // Move the selection off the branch first, so that the handler sees a
    // living node and a deleted ancestor never leaves a silent null selection.
    if (IsWithin(m_pWidget->currentItem(), doomed))
        m_pWidget->setCurrentItem(SelectionAfterDeleting(doomed));
    delete doomed;
    ResizeColumnWithin(FrameMs);
}

void TreeCtrl::DeleteChildren(HTREEITEM parent)
{
    if (!parent || Item(parent)->childCount() == 0)
        return;
    QTreeWidgetItem* item = Item(parent);
    const QScopedValueRollback own(m_nOwnSelections, m_nOwnSelections + 1);
    QTreeWidgetItem* current = m_pWidget->currentItem();
    if (current != item && IsWithin(current, item))
        m_pWidget->setCurrentItem(item);
    qDeleteAll(item->takeChildren());
    ResizeColumnWithin(FrameMs);
}

HTREEITEM TreeCtrl::GetSelectedItem() const
{
    return Handle(m_pWidget->currentItem());
}

void TreeCtrl::SelectItem(HTREEITEM item)
{
    const QScopedValueRollback own(m_nOwnSelections, m_nOwnSelections + 1);
    m_pWidget->setCurrentItem(Item(item));
}

void TreeCtrl::Expand(HTREEITEM item)
{
    if (item)
        Item(item)->setExpanded(true);
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

void TreeCtrl::SetImageList(const std::vector<QIcon>& images, const std::vector<QString>& meanings)
{
    m_images = images;
    m_meanings = meanings;
    for (QTreeWidgetItemIterator it(m_pWidget); *it; ++it)
        AsTreeItem(*it)->shownImage = -1;
    RefreshIcons();
}

void TreeCtrl::SetSelChangedHandler(std::function<void(HTREEITEM)> handler)
{
    m_onSelChanged = std::move(handler);
}

void TreeCtrl::SetUserSelectedHandler(std::function<void(HTREEITEM)> handler)
{
    m_onUserSelected = std::move(handler);
}

void TreeCtrl::NotifySelectedItemGrew()
{
    if (m_onSelectedItemGrew)
        m_onSelectedItemGrew(GetSelectedItem());
}

void TreeCtrl::SetSelectedItemGrewHandler(std::function<void(HTREEITEM)> handler)
{
    m_onSelectedItemGrew = std::move(handler);
}
