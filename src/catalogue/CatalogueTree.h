// Grouping the sorted station catalogue into the dialogs' trees of up to three levels,
// behind a small tree interface so that the same algorithm fills a widget, a text listing or
// a test's tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/CatalogueViews.h"
#include "catalogue/StationSensorCache.h"

namespace ov {

// A node of a catalogue tree, opaque to the algorithm; each tree defines what it points to.
struct TCatalogueNode;

// The tree operations the build uses. Nodes stay valid until Clear. A failing operation
// throws; the build then ends with the nodes added so far.
class ICatalogueTree {
  public:
    virtual ~ICatalogueTree() = default;
    // Around a build, so that a tree can hold back its display work until the end.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    virtual void Clear() = 0;
    // The last node in tree order (depth first), null for an empty tree.
    virtual TCatalogueNode* LastNode() = 0;
    virtual TCatalogueNode* Parent(TCatalogueNode* node) = 0;  // null for a root
    virtual TCatalogueNode* LastChild(TCatalogueNode* node) = 0;
    virtual std::string Text(TCatalogueNode* node) = 0;
    virtual TCatalogueNode* AddRoot(std::string_view text) = 0;
    virtual TCatalogueNode* AddChild(TCatalogueNode* parent, std::string_view text) = 0;
    // The node's normal and selected icon.
    virtual void SetImage(TCatalogueNode* node, std::int32_t image) = 0;
    // The entry the node stands for (it replaces an earlier one).
    virtual void Attach(TCatalogueNode* node, TStationSensorItem* item) = 0;
};

// The label of a root whose level-1 text is empty or only blanks.
inline constexpr std::string_view NullRootLabel = "<NULL>";

// Sorts catalogue by mode and rebuilds tree from it: every entry's levels set by profile,
// a new root or level-2 node only where the label differs (without regard to case) from the
// last root or that root's last child, a level-3 node for every entry that has one, each
// entry attached to its deepest node. False when a tree operation failed and ended the
// build (the nodes so far stay), or for a mode outside 3-12 (tree left empty).
bool BuildCatalogueTree(ICatalogueTree& tree, TStationSensorCache& catalogue, TSortMode mode,
                        TLevelProfile profile);

}  // namespace ov
