// The catalogue tree build.
#include "suite/CatalogueTree.h"

#include <cstdint>
#include <exception>
#include <string>

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
    // A node's text and icon as last seen here: entries under one node ask for them in turn,
    // and a tree on a widget answers its text through a conversion each time.
    struct TSeen {
        TCatalogueNode* Node = nullptr;
        std::string Text;
        std::int32_t Image = 0;
        bool Imaged = false;
    };
    TSeen seenRoot, seenLevel2;
    auto textOf = [&tree](TSeen& seen, TCatalogueNode* node) -> const std::string& {
        if (seen.Node != node) seen = TSeen{node, tree.Text(node)};
        return seen.Text;
    };
    auto added = [](TSeen& seen, TCatalogueNode* node, std::string_view text) {
        seen = TSeen{node, std::string(text)};
        return node;
    };
    // The node gets the icon (new or reused); one it has already is not given again.
    auto image = [&tree](TSeen& seen, TCatalogueNode* node, std::int32_t icon) {
        if (seen.Node == node && seen.Imaged && seen.Image == icon) return;
        tree.SetImage(node, icon);
        if (seen.Node == node) {
            seen.Imaged = true;
            seen.Image = icon;
        }
    };

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
        if (!root || !SameText(textOf(seenRoot, root), label))
            root = added(seenRoot, tree.AddRoot(label), label);
        image(seenRoot, root, item.Level1Image);

        if (item.Level2Text.empty()) {
            tree.Attach(root, &item);
            lastLeaf = root;
            continue;
        }
        TCatalogueNode* level2 = tree.LastChild(root);
        if (!level2 || !SameText(textOf(seenLevel2, level2), item.Level2Text))
            level2 = added(seenLevel2, tree.AddChild(root, item.Level2Text), item.Level2Text);
        image(seenLevel2, level2, item.Level2Image);

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
