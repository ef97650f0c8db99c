// Tests of the catalogue tree build on the in-memory tree: roots and level-2 nodes only where
// the label changes, "<NULL>" roots, the levels of both profiles, the entry attached to each
// node, and a failing tree ending the build with the nodes so far.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "catalogue/CatalogueTextTree.h"
#include "catalogue/CatalogueTree.h"

namespace ov {
namespace {

using P = TLevelProfile;

TStationSensorItem Entry(std::string station, std::string sensor, std::string basin = {},
                         std::int32_t channel = 0) {
    TStationSensorItem e;
    e.StationID = std::move(station);
    e.SensorName = std::move(sensor);
    e.Basin = std::move(basin);
    e.PrimaryChannel = channel;
    return e;
}

// A catalogue with null and blank basins, basins that differ only in case, a null sensor
// name and a null channel (0), in an order no view has.
void Fill(TStationSensorCache& c) {
    c.Append(Entry("RIVER2", "HG", "mill creek", 12));
    c.Append(Entry("WELL7", "", "  ", 0));
    c.Append(Entry("RIVER1", "HG", "Mill Creek", 12));
    c.Append(Entry("LAKE3", "LV", "", 31));
    c.Append(Entry("RIVER1", "TA", "Mill Creek", 12));
    c.Append(Entry("RAIN1", "PC", "MILL CREEK", 0));
}

std::string Tree(TSortMode mode, P profile) {
    TStationSensorCache c;
    Fill(c);
    TCatalogueTextTree tree;
    tree.AddRoot("left over from the last build");
    EXPECT_TRUE(BuildCatalogueTree(tree, c, mode, profile));
    return tree.Lines();
}

TEST(CatalogueTree, GroupsAdjacentLabelsWithoutRegardToCase) {
    struct Case {
        TSortMode mode;
        P profile;
        const char* lines;
    };
    const Case cases[] = {
        // Null basins first, the blank one joining them; the first basin placed names the
        // root its case variants share.
        {smBasin, P::lpStationTree,
         "<NULL> [41]\n  LAKE3 [16]\n  WELL7 [16]\n"
         "MILL CREEK [41]\n  RAIN1 [16]\n  RIVER1 [16]\n  RIVER2 [16]\n"},
        // The null sensor name has no level 3: its entry hangs on the station node.
        {smBasin, P::lpStationSensorTree,
         "<NULL> [41]\n  LAKE3 [16]\n    LV [29]\n  WELL7 [16]\n"
         "MILL CREEK [41]\n  RAIN1 [16]\n    PC [29]\n  RIVER1 [16]\n    HG [29]\n    TA [29]\n"
         "  RIVER2 [16]\n    HG [29]\n"},
        {smStations, P::lpStationTree,
         "LAKE3 [16]\nRAIN1 [16]\nRIVER1 [16]\nRIVER2 [16]\nWELL7 [16]\n"},
        {smStations, P::lpStationSensorTree,
         "LAKE3 [16]\n  LV [29]\nRAIN1 [16]\n  PC [29]\nRIVER1 [16]\n  HG [29]\n  TA [29]\n"
         "RIVER2 [16]\n  HG [29]\nWELL7 [16]\n"},
        // An empty sensor name is a root label "<NULL>" with the sensor icon.
        {smSensors, P::lpStationTree,
         "<NULL> [29]\n  WELL7 [16]\nHG [29]\n  RIVER1 [16]\n  RIVER2 [16]\nLV [29]\n"
         "  LAKE3 [16]\nPC [29]\n  RAIN1 [16]\nTA [29]\n  RIVER1 [16]\n"},
        // A null channel is the label 0.
        {smPrimaryChannel, P::lpStationTree,
         "0 [40]\n  RAIN1 [16]\n  WELL7 [16]\n12 [40]\n  RIVER1 [16]\n  RIVER2 [16]\n"
         "31 [40]\n  LAKE3 [16]\n"},
    };
    for (const Case& k : cases) EXPECT_EQ(Tree(k.mode, k.profile), k.lines) << k.mode;
}

TEST(CatalogueTree, EachNodeKeepsTheLastEntryAttachedToIt) {
    TStationSensorCache c;
    Fill(c);
    TCatalogueTextTree tree;
    ASSERT_TRUE(BuildCatalogueTree(tree, c, smStations, P::lpStationTree));
    const auto* river1 = tree.Roots()[2];
    ASSERT_EQ(river1->Text, "RIVER1");
    EXPECT_EQ(river1->Item->SensorName, "TA");

    ASSERT_TRUE(BuildCatalogueTree(tree, c, smBasin, P::lpStationSensorTree));
    const auto* well7 = tree.Roots()[0]->Children[1];
    ASSERT_EQ(well7->Text, "WELL7");
    ASSERT_NE(well7->Item, nullptr);
    EXPECT_EQ(well7->Item->StationID, "WELL7");
    EXPECT_EQ(well7->Item->SensorName, "");
    EXPECT_EQ(tree.Roots()[0]->Item, nullptr);  // a grouping node stands for no entry
    const auto* hg = tree.Roots()[1]->Children[1]->Children[0];
    EXPECT_EQ(hg->Item, &c.Items(3));  // the entries are the catalogue's own, sorted
}

// A tree whose node additions start failing after a given number.
class TFailingTree : public TCatalogueTextTree {
  public:
    explicit TFailingTree(int allowed) : allowed_(allowed) {}
    TCatalogueNode* AddRoot(std::string_view text) override {
        Count();
        return TCatalogueTextTree::AddRoot(text);
    }
    TCatalogueNode* AddChild(TCatalogueNode* parent, std::string_view text) override {
        Count();
        return TCatalogueTextTree::AddChild(parent, text);
    }
    void EndUpdate() override { ended_ = true; }
    bool ended_ = false;

  private:
    void Count() {
        if (allowed_-- == 0) throw std::runtime_error("no room for another node");
    }
    int allowed_;
};

TEST(CatalogueTree, AFailingTreeEndsTheBuildWithTheNodesSoFar) {
    TStationSensorCache c;
    Fill(c);
    TFailingTree tree(4);
    EXPECT_FALSE(BuildCatalogueTree(tree, c, smStations, P::lpStationSensorTree));
    EXPECT_EQ(tree.Lines(), "LAKE3 [16]\n  LV [29]\nRAIN1 [16]\n  PC [29]\n");
    EXPECT_TRUE(tree.ended_);

    TCatalogueTextTree other;
    other.AddRoot("old");
    EXPECT_FALSE(BuildCatalogueTree(other, c, 13, P::lpStationTree));
    EXPECT_EQ(other.Lines(), "");
}

}  // namespace
}  // namespace ov
