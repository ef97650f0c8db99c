// The in-memory catalogue tree and its text form.
#include "catalogue/CatalogueTextTree.h"

#include <ostream>
#include <sstream>

namespace ov {

void TCatalogueTextTree::Clear() {
    roots_.clear();
    nodes_.clear();
}

TCatalogueNode* TCatalogueTextTree::LastNode() {
    if (roots_.empty()) return nullptr;
    TNode* node = roots_.back();
    while (!node->Children.empty()) node = node->Children.back();
    return Handle(node);
}

TCatalogueNode* TCatalogueTextTree::Parent(TCatalogueNode* node) {
    return Handle(Of(node)->Parent);
}

TCatalogueNode* TCatalogueTextTree::LastChild(TCatalogueNode* node) {
    TNode* n = Of(node);
    return n->Children.empty() ? nullptr : Handle(n->Children.back());
}

std::string TCatalogueTextTree::Text(TCatalogueNode* node) {
    return Of(node)->Text;
}

TCatalogueTextTree::TNode* TCatalogueTextTree::NewNode(std::string_view text, TNode* parent) {
    TNode& node = nodes_.emplace_back();
    node.Text = std::string(text);
    node.Parent = parent;
    return &node;
}

TCatalogueNode* TCatalogueTextTree::AddRoot(std::string_view text) {
    TNode* node = NewNode(text, nullptr);
    roots_.push_back(node);
    return Handle(node);
}

TCatalogueNode* TCatalogueTextTree::AddChild(TCatalogueNode* parent, std::string_view text) {
    TNode* node = NewNode(text, Of(parent));
    Of(parent)->Children.push_back(node);
    return Handle(node);
}

void TCatalogueTextTree::SetImage(TCatalogueNode* node, std::int32_t image) {
    Of(node)->Image = image;
}

void TCatalogueTextTree::Attach(TCatalogueNode* node, TStationSensorItem* item) {
    Of(node)->Item = item;
}

namespace {

void WriteNode(std::ostream& out, const TCatalogueTextTree::TNode& node, int depth) {
    out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << node.Text << " [" << node.Image
        << "]\n";
    for (const auto* child : node.Children) WriteNode(out, *child, depth + 1);
}

}  // namespace

void TCatalogueTextTree::Write(std::ostream& out) const {
    for (const auto* root : roots_) WriteNode(out, *root, 0);
}

std::string TCatalogueTextTree::Lines() const {
    std::ostringstream out;
    Write(out);
    return out.str();
}

}  // namespace ov
