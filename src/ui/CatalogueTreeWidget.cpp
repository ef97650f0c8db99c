// The catalogue tree on a QTreeWidget.
#include "ui/CatalogueTreeWidget.h"

#include "qttext/QtText.h"

namespace ov {

TCatalogueTreeWidget::TCatalogueTreeWidget(QTreeWidget& tree, TIconSource icons)
    : tree_(tree), icons_(std::move(icons)) {}

TCatalogueTreeWidget::~TCatalogueTreeWidget() {
    if (updating_) EndUpdate();
}

TStationSensorItem* TCatalogueTreeWidget::ItemOf(const QTreeWidgetItem* node) {
    return node ? static_cast<TStationSensorItem*>(node->data(0, ItemRole).value<void*>())
                : nullptr;
}

int TCatalogueTreeWidget::ImageOf(const QTreeWidgetItem* node) {
    return node ? node->data(0, ImageRole).toInt() : -1;
}

void TCatalogueTreeWidget::BeginUpdate() {
    if (updating_) return;
    updating_ = true;
    tree_.setUpdatesEnabled(false);
}

void TCatalogueTreeWidget::EndUpdate() {
    if (!updating_) return;
    updating_ = false;
    if (!pending_.empty()) {
        QList<QTreeWidgetItem*> roots;
        roots.reserve(static_cast<qsizetype>(pending_.size()));
        for (auto& root : pending_) roots.append(root.release());
        pending_.clear();
        tree_.addTopLevelItems(roots);
    }
    tree_.setUpdatesEnabled(true);
}

void TCatalogueTreeWidget::Clear() {
    pending_.clear();
    tree_.clear();
}

TCatalogueNode* TCatalogueTreeWidget::LastNode() {
    QTreeWidgetItem* node = nullptr;
    if (!pending_.empty()) {
        node = pending_.back().get();
    } else if (int count = tree_.topLevelItemCount()) {
        node = tree_.topLevelItem(count - 1);
    }
    while (node && node->childCount()) node = node->child(node->childCount() - 1);
    return Handle(node);
}

TCatalogueNode* TCatalogueTreeWidget::Parent(TCatalogueNode* node) {
    return Handle(Of(node)->parent());
}

TCatalogueNode* TCatalogueTreeWidget::LastChild(TCatalogueNode* node) {
    QTreeWidgetItem* n = Of(node);
    return n->childCount() ? Handle(n->child(n->childCount() - 1)) : nullptr;
}

std::string TCatalogueTreeWidget::Text(TCatalogueNode* node) {
    return EngineText(Of(node)->text(0));
}

namespace {

QTreeWidgetItem* NewNode(std::string_view text) {
    auto* node = new QTreeWidgetItem;
    node->setText(0, QtText(text));
    return node;
}

}  // namespace

TCatalogueNode* TCatalogueTreeWidget::AddRoot(std::string_view text) {
    std::unique_ptr<QTreeWidgetItem> node(NewNode(text));
    QTreeWidgetItem* added = node.get();
    if (updating_) {
        pending_.push_back(std::move(node));
    } else {
        tree_.addTopLevelItem(node.release());
    }
    return Handle(added);
}

TCatalogueNode* TCatalogueTreeWidget::AddChild(TCatalogueNode* parent, std::string_view text) {
    QTreeWidgetItem* node = NewNode(text);
    Of(parent)->addChild(node);  // the parent owns it
    return Handle(node);
}

void TCatalogueTreeWidget::SetImage(TCatalogueNode* node, std::int32_t image) {
    QTreeWidgetItem* n = Of(node);
    n->setData(0, ImageRole, image);
    // One icon serves the normal and the selected state.
    if (icons_) n->setIcon(0, icons_(image));
}

void TCatalogueTreeWidget::Attach(TCatalogueNode* node, TStationSensorItem* item) {
    Of(node)->setData(0, ItemRole, QVariant::fromValue(static_cast<void*>(item)));
}

}  // namespace ov
