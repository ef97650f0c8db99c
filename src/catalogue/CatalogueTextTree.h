// A catalogue tree held in memory and written as indented text lines: what `ovtool
// catalogue` prints, and a tree to check and measure the build without widgets.
#pragma once

#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "catalogue/CatalogueTree.h"

namespace ov {

class TCatalogueTextTree : public ICatalogueTree {
  public:
    struct TNode {
        std::string Text;
        std::int32_t Image = -1;
        TStationSensorItem* Item = nullptr;
        TNode* Parent = nullptr;
        std::vector<TNode*> Children;
    };

    void Clear() override;
    TCatalogueNode* LastNode() override;
    TCatalogueNode* Parent(TCatalogueNode* node) override;
    TCatalogueNode* LastChild(TCatalogueNode* node) override;
    std::string Text(TCatalogueNode* node) override;
    TCatalogueNode* AddRoot(std::string_view text) override;
    TCatalogueNode* AddChild(TCatalogueNode* parent, std::string_view text) override;
    void SetImage(TCatalogueNode* node, std::int32_t image) override;
    void Attach(TCatalogueNode* node, TStationSensorItem* item) override;

    const std::vector<TNode*>& Roots() const { return roots_; }
    std::size_t NodeCount() const { return nodes_.size(); }
    static TNode* Of(TCatalogueNode* node) { return reinterpret_cast<TNode*>(node); }

    // One line a node in tree order: two blanks per level below the root, the text, a blank
    // and the icon number in brackets ("  ELMWOOD [16]").
    void Write(std::ostream& out) const;
    std::string Lines() const;

  private:
    static TCatalogueNode* Handle(TNode* node) { return reinterpret_cast<TCatalogueNode*>(node); }
    TNode* NewNode(std::string_view text, TNode* parent);

    std::deque<TNode> nodes_;  // owns every node; a deque keeps their addresses
    std::vector<TNode*> roots_;
};

}  // namespace ov
