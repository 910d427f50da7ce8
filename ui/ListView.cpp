#include "ui/ListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <vector>

#include "ui/QtConversions.h"

namespace talvinor {

namespace {

constexpr int kDataRole = Qt::UserRole + 1;

// Rows a little taller than the font, so that underscores and descenders
// of the Japanese fonts are not cut off.
class RowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + 3));
    return size;
  }
};

class ListWidget : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void(QPoint)> onContextMenu;
  std::function<void()> onFocus;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override {
    if (onContextMenu) onContextMenu(viewport()->mapFrom(this, event->pos()));
  }
  void focusInEvent(QFocusEvent* event) override {
    QTreeWidget::focusInEvent(event);
    if (onFocus) onFocus();
  }
};

QTreeWidget* Tree(QWidget* widget) { return qobject_cast<QTreeWidget*>(widget); }

}  // namespace

QWidget* ListView::CreateWidget(QWidget* parent, const std::wstring&, uint32_t style) {
  auto* tree = new ListWidget(parent);
  tree->setItemDelegate(new RowDelegate(tree));
  tree->setRootIsDecorated(false);
  tree->setItemsExpandable(false);
  tree->setUniformRowHeights(true);
  tree->setAllColumnsShowFocus(true);
  tree->setSortingEnabled(false);
  tree->setColumnCount(0);
  tree->setSelectionMode((style & kLvsSingleSel) ? QAbstractItemView::SingleSelection
                                                 : QAbstractItemView::ExtendedSelection);
  tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree->header()->setSectionsClickable(true);
  tree->header()->setStretchLastSection(false);
  tree->header()->setMinimumSectionSize(0);

  QObject::connect(tree, &QTreeWidget::itemDoubleClicked, tree, [this, tree](QTreeWidgetItem* item, int column) {
    NotifyParent({.code = kNmDblClk, .item = tree->indexOfTopLevelItem(item), .subItem = column});
  });
  QObject::connect(tree->header(), &QHeaderView::sectionClicked, tree,
                   [this](int column) { NotifyParent({.code = kLvnColumnClick, .subItem = column}); });
  QObject::connect(tree, &QTreeWidget::currentItemChanged, tree, [this, tree](QTreeWidgetItem* current) {
    if (m_programSelects) return;
    NotifyParent({.code = kLvnItemChanged, .item = current ? tree->indexOfTopLevelItem(current) : kNone});
  });
  tree->onContextMenu = [this, tree](QPoint at) {
    QTreeWidgetItem* item = tree->itemAt(at);
    NotifyParent({.code = kGnContextMenu, .item = item ? tree->indexOfTopLevelItem(item) : kNone,
                  .x = at.x(), .y = at.y()});
  };
  tree->onFocus = [this] { NotifyParent({.code = kNmSetFocus}); };
  return tree;
}

void ListView::SetExtendedStyle(uint32_t style) { m_extendedStyle = style; }

int ListView::InsertColumn(int index, const std::wstring& title, int width, int format) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return kNone;
  const int count = tree->columnCount();
  if (index < 0 || index > count) index = count;
  QTreeWidgetItem* header = tree->headerItem();
  tree->setColumnCount(count + 1);
  // Move the later titles one place to the right.
  for (int c = count; c > index; --c) {
    header->setText(c, header->text(c - 1));
    header->setData(c, Qt::TextAlignmentRole, header->data(c - 1, Qt::TextAlignmentRole));
  }
  header->setText(index, ToQString(title));
  const Qt::Alignment align = (format == kLvcFmtRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
  header->setData(index, Qt::TextAlignmentRole, static_cast<int>(align));
  tree->setProperty(("align" + std::to_string(index)).c_str(), static_cast<int>(align));
  SetColumnWidth(index, width);
  return index;
}

void ListView::SetColumnWidth(int column, int width) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || column < 0 || column >= tree->columnCount()) return;
  tree->setColumnHidden(column, width <= 0);
  if (width > 0) tree->setColumnWidth(column, width);
}

int ListView::GetColumnWidth(int column) const {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || column < 0 || column >= tree->columnCount()) return 0;
  return tree->isColumnHidden(column) ? 0 : tree->columnWidth(column);
}

int ListView::GetColumnCount() const {
  QTreeWidget* tree = Tree(Widget());
  return tree ? tree->columnCount() : 0;
}

int ListView::InsertItem(int index, const std::wstring& text, intptr_t data) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return kNone;
  const int count = tree->topLevelItemCount();
  if (index < 0 || index > count) index = count;
  auto* item = new QTreeWidgetItem;
  item->setData(0, kDataRole, QVariant::fromValue<qlonglong>(data));
  item->setText(0, ToQString(text));
  for (int c = 0; c < tree->columnCount(); ++c) {
    QVariant align = tree->property(("align" + std::to_string(c)).c_str());
    if (align.isValid()) item->setTextAlignment(c, static_cast<Qt::Alignment>(align.toInt()));
  }
  m_programSelects = true;
  tree->insertTopLevelItem(index, item);
  m_programSelects = false;
  return index;
}

void ListView::AppendItems(const std::vector<Row>& rows) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || rows.empty()) return;
  const int columns = tree->columnCount();
  std::vector<QVariant> aligns(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) aligns[static_cast<size_t>(c)] = tree->property(("align" + std::to_string(c)).c_str());
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const Row& row : rows) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kDataRole, QVariant::fromValue<qlonglong>(row.data));
    for (int c = 0; c < columns; ++c) {
      if (static_cast<size_t>(c) < row.texts.size()) item->setText(c, ToQString(row.texts[static_cast<size_t>(c)]));
      if (aligns[static_cast<size_t>(c)].isValid())
        item->setTextAlignment(c, static_cast<Qt::Alignment>(aligns[static_cast<size_t>(c)].toInt()));
    }
    items.push_back(item);
  }
  m_programSelects = true;
  tree->addTopLevelItems(items);
  m_programSelects = false;
}

bool ListView::SetItemText(int item, int column, const std::wstring& text) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || column < 0 || column >= tree->columnCount()) return false;
  QTreeWidgetItem* row = tree->topLevelItem(item);
  if (!row) return false;
  row->setText(column, ToQString(text));
  return true;
}

std::wstring ListView::GetItemText(int item, int column) const {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return {};
  QTreeWidgetItem* row = tree->topLevelItem(item);
  return row ? FromQString(row->text(column)) : std::wstring();
}

intptr_t ListView::GetItemData(int item) const {
  QTreeWidget* tree = Tree(Widget());
  QTreeWidgetItem* row = tree ? tree->topLevelItem(item) : nullptr;
  return row ? static_cast<intptr_t>(row->data(0, kDataRole).toLongLong()) : 0;
}

bool ListView::DeleteItem(int item) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || item < 0 || item >= tree->topLevelItemCount()) return false;
  m_programSelects = true;
  delete tree->takeTopLevelItem(item);
  m_programSelects = false;
  return true;
}

void ListView::DeleteAllItems() {
  if (QTreeWidget* tree = Tree(Widget())) {
    m_programSelects = true;
    tree->clear();
    m_programSelects = false;
  }
}

int ListView::GetItemCount() const {
  QTreeWidget* tree = Tree(Widget());
  return tree ? tree->topLevelItemCount() : 0;
}

int ListView::GetSelectedItem() const {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return kNone;
  const auto selected = tree->selectedItems();
  return selected.isEmpty() ? kNone : tree->indexOfTopLevelItem(selected.front());
}

void ListView::SelectItem(int item) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return;
  m_programSelects = true;
  QTreeWidgetItem* row = tree->topLevelItem(item);
  if (row) {
    tree->setCurrentItem(row);
    row->setSelected(true);
  } else {
    tree->clearSelection();
    tree->setCurrentItem(nullptr);
  }
  m_programSelects = false;
}

void ListView::EnsureVisible(int item) {
  QTreeWidget* tree = Tree(Widget());
  if (QTreeWidgetItem* row = tree ? tree->topLevelItem(item) : nullptr) tree->scrollToItem(row);
}

int ListView::HitTest(int x, int y) const {
  QTreeWidget* tree = Tree(Widget());
  if (!tree) return kNone;
  const QPoint at = tree->viewport()->mapFrom(tree, QPoint(x, y));
  QTreeWidgetItem* row = tree->itemAt(at);
  return row ? tree->indexOfTopLevelItem(row) : kNone;
}

void ListView::SortItems(CompareFunction compare, intptr_t context) {
  QTreeWidget* tree = Tree(Widget());
  if (!tree || !compare) return;
  m_programSelects = true;
  QTreeWidgetItem* current = tree->currentItem();
  const auto selected = tree->selectedItems();
  std::vector<QTreeWidgetItem*> rows;
  while (tree->topLevelItemCount() > 0) rows.push_back(tree->takeTopLevelItem(0));
  std::stable_sort(rows.begin(), rows.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
    return compare(static_cast<intptr_t>(a->data(0, kDataRole).toLongLong()),
                   static_cast<intptr_t>(b->data(0, kDataRole).toLongLong()), context) < 0;
  });
  for (QTreeWidgetItem* row : rows) tree->addTopLevelItem(row);
  if (current) tree->setCurrentItem(current);
  for (QTreeWidgetItem* row : selected) row->setSelected(true);
  m_programSelects = false;
}

}  // namespace talvinor
