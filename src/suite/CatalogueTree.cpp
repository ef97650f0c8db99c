// The catalogue tree build.
#include "suite/CatalogueTree.h"

#include <exception>

#include "suite/CatalogueSql.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

TCatalogueNode* TopAncestor(ICatalogueTree& tree, TCatalogueNode* node) {
    while (TCatalogueNode* parent = tree.Parent(node)) node = parent;
    return node;
}

void Build(ICatalogueTree& tree, TStationSensorCache& catalogue, TSortMode mode,
           TLevelProfile profile) {
    tree.Clear();
    if (!ValidSortMode(mode)) return;
    catalogue.Sort(mode);
    TCatalogueNode* lastLeaf = nullptr;
    const int count = catalogue.Count();
    for (int i = 0; i < count; ++i) {
        TStationSensorItem& item = catalogue.Items(i);
        SetLevels(item, mode, profile);

        TCatalogueNode* root = nullptr;
        if (lastLeaf) {
            root = TopAncestor(tree, lastLeaf);
        } else if (TCatalogueNode* last = tree.LastNode()) {
            root = TopAncestor(tree, last);
        }
        const std::string_view label =
            BlankText(item.Level1Text) ? NullRootLabel : std::string_view(item.Level1Text);
        if (!root || !SameText(tree.Text(root), label)) root = tree.AddRoot(label);
        tree.SetImage(root, item.Level1Image);

        if (item.Level2Text.empty()) {
            tree.Attach(root, &item);
            lastLeaf = root;
            continue;
        }
        TCatalogueNode* level2 = tree.LastChild(root);
        if (!level2 || !SameText(tree.Text(level2), item.Level2Text))
            level2 = tree.AddChild(root, item.Level2Text);
        tree.SetImage(level2, item.Level2Image);

        if (item.Level3Text.empty()) {
            tree.Attach(level2, &item);
            lastLeaf = level2;
            continue;
        }
        TCatalogueNode* level3 = tree.AddChild(level2, item.Level3Text);
        tree.SetImage(level3, item.Level3Image);
        tree.Attach(level3, &item);
        lastLeaf = level3;
    }
}

}  // namespace

bool BuildCatalogueTree(ICatalogueTree& tree, TStationSensorCache& catalogue, TSortMode mode,
                        TLevelProfile profile) {
    bool completed = false;
    try {
        tree.BeginUpdate();
        try {
            Build(tree, catalogue, mode, profile);
            completed = ValidSortMode(mode);
        } catch (const std::exception&) {
            // The build ends here; the nodes added so far stay.
        }
        tree.EndUpdate();
    } catch (const std::exception&) {
        completed = false;
    }
    return completed;
}

}  // namespace ov
