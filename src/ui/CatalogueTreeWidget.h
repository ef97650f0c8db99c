// The station catalogue's trees in a QTreeWidget: the tree interface of the catalogue build
// on a widget, each node holding its entry and its icon number.
#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <vector>

#include "catalogue/CatalogueTree.h"

namespace ov {

class TCatalogueTreeWidget : public ICatalogueTree {
  public:
    // The data roles of a node: its entry (a TStationSensorItem*, null for a grouping node
    // that received none) and its icon number.
    static constexpr int ItemRole = Qt::UserRole;
    static constexpr int ImageRole = Qt::UserRole + 1;
    // The icon of an icon number (the dialog's picture strip); none: no icons are shown.
    using TIconSource = std::function<QIcon(int image)>;

    explicit TCatalogueTreeWidget(QTreeWidget& tree, TIconSource icons = {});
    ~TCatalogueTreeWidget() override;

    static TStationSensorItem* ItemOf(const QTreeWidgetItem* node);
    static int ImageOf(const QTreeWidgetItem* node);

    // A build adds its new roots to the widget in one step at its end, and the widget does
    // not repaint meanwhile.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    TCatalogueNode* LastNode() override;
    TCatalogueNode* Parent(TCatalogueNode* node) override;
    TCatalogueNode* LastChild(TCatalogueNode* node) override;
    std::string Text(TCatalogueNode* node) override;
    TCatalogueNode* AddRoot(std::string_view text) override;
    TCatalogueNode* AddChild(TCatalogueNode* parent, std::string_view text) override;
    void SetImage(TCatalogueNode* node, std::int32_t image) override;
    void Attach(TCatalogueNode* node, TStationSensorItem* item) override;

  private:
    static QTreeWidgetItem* Of(TCatalogueNode* node) {
        return reinterpret_cast<QTreeWidgetItem*>(node);
    }
    static TCatalogueNode* Handle(QTreeWidgetItem* node) {
        return reinterpret_cast<TCatalogueNode*>(node);
    }

    QTreeWidget& tree_;
    TIconSource icons_;
    bool updating_ = false;
    std::vector<std::unique_ptr<QTreeWidgetItem>> pending_;  // new roots not yet in the widget
};

}  // namespace ov
