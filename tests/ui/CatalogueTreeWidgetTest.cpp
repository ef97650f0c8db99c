// The catalogue trees on a QTreeWidget: the same nodes, icon numbers and entries as the
// in-memory tree for every view of both profiles, icons from the dialog's picture strip, and
// a rebuild replacing the old tree.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <string>

#include "catalogue/CatalogueTextTree.h"
#include "ui/CatalogueTreeWidget.h"

namespace ov {
namespace {

// The widget's nodes as the text tree writes its own, each with its entry.
void Dump(const QTreeWidgetItem* node, int depth, std::string& lines,
          std::vector<const TStationSensorItem*>& items) {
    lines += std::string(static_cast<std::size_t>(depth) * 2, ' ') +
             node->text(0).toLatin1().toStdString() + " [" +
             std::to_string(TCatalogueTreeWidget::ImageOf(node)) + "]\n";
    items.push_back(TCatalogueTreeWidget::ItemOf(node));
    for (int i = 0; i < node->childCount(); ++i) Dump(node->child(i), depth + 1, lines, items);
}
void Dump(const TCatalogueTextTree::TNode* node, std::vector<const TStationSensorItem*>& items) {
    items.push_back(node->Item);
    for (const auto* child : node->Children) Dump(child, items);
}

void Fill(TStationSensorCache& c) {
    const char* rows[][4] = {
        {"RIVER2", "HG", "mill creek", "East"}, {"WELL7", "", "", "Central"},
        {"RIVER1", "HG", "Mill Creek", "East"}, {"LAKE3", "LV", "  ", ""},
        {"RIVER1", "TA", "Mill Creek", "East"}, {"RAIN1", "PC", "MILL CREEK", "east"},
    };
    int channel = 0;
    for (const auto& r : rows) {
        TStationSensorItem e;
        e.StationID = r[0];
        e.SensorName = r[1];
        e.Basin = r[2];
        e.District = r[3];
        e.PrimaryChannel = (channel++ % 3) * 10;
        c.Append(std::move(e));
    }
}

TEST(CatalogueTreeWidget, HoldsTheSameTreeAsTheTextTree) {
    TStationSensorCache catalogue;
    Fill(catalogue);
    QTreeWidget widget;
    TCatalogueTreeWidget tree(widget);
    for (TSortMode mode = FirstSortMode; mode <= LastSortMode; ++mode) {
        for (auto profile : {TLevelProfile::lpStationTree, TLevelProfile::lpStationSensorTree}) {
            TCatalogueTextTree expected;
            ASSERT_TRUE(BuildCatalogueTree(expected, catalogue, mode, profile));
            ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, mode, profile));
            std::string lines;
            std::vector<const TStationSensorItem*> items, expectedItems;
            for (int i = 0; i < widget.topLevelItemCount(); ++i)
                Dump(widget.topLevelItem(i), 0, lines, items);
            for (const auto* root : expected.Roots()) Dump(root, expectedItems);
            EXPECT_EQ(lines, expected.Lines()) << "mode " << mode;
            EXPECT_EQ(items, expectedItems) << "mode " << mode;
        }
    }
    EXPECT_TRUE(widget.updatesEnabled());
}

TEST(CatalogueTreeWidget, ShowsTheIconsOfThePictureStrip) {
    TStationSensorCache catalogue;
    Fill(catalogue);
    QTreeWidget widget;
    std::vector<int> asked;
    TCatalogueTreeWidget tree(widget, [&asked](int image) {
        asked.push_back(image);
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv(image * 7 % 360, 200, 200));
        return QIcon(pixmap);
    });
    ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, smBasin, TLevelProfile::lpStationSensorTree));
    const QTreeWidgetItem* basin = widget.topLevelItem(0);
    EXPECT_FALSE(basin->icon(0).isNull());
    EXPECT_EQ(TCatalogueTreeWidget::ImageOf(basin), 41);
    EXPECT_EQ(TCatalogueTreeWidget::ImageOf(basin->child(0)), 16);
    EXPECT_EQ(TCatalogueTreeWidget::ImageOf(basin->child(1)->child(0)), 29);  // LAKE3.LV
    EXPECT_NE(std::find(asked.begin(), asked.end(), 29), asked.end());

    // The catalogue cleared, a rebuild leaves an empty tree.
    catalogue.Clear();
    ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, smBasin, TLevelProfile::lpStationTree));
    EXPECT_EQ(widget.topLevelItemCount(), 0);
}

}  // namespace
}  // namespace ov
