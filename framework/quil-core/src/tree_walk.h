// The whole-tree operations shared by values, definitions and structure metadata: release,
// equality and text form. Each keeps its own stack on the heap, so the depth of a tree never
// reaches the call stack.
//
// `Tree` describes one kind of tree whose nodes are held as std::shared_ptr<const Node>:
//   using Node = ...;
//   class Children;  // the children of a node in order, the one place that lists them:
//                    //   explicit Children(const Node&);
//                    //   bool Next(TreeChild<Node>&);  // false once every child was given
//                    //   bool Done() const;            // no child is left
// and, for the operations that need them:
//   static bool SameNode(const Node&, const Node&);  // everything but the children; equal nodes
//                                                    // have as many children
//   static const std::shared_ptr<const Node>* FindChild(const Node&, std::string_view label);
//   static void Open(std::string&, const Node&);   // the text before the children
//   static void Close(std::string&, const Node&);  // and after them
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <boost/container/small_vector.hpp>

namespace Quil::Detail {

// One child of a node: its slot in the node, and its label (a field name) when it has one.
template <typename Node>
struct TreeChild {
  const std::shared_ptr<const Node>* slot = nullptr;
  std::string_view label;  // null data when unlabelled

  bool Labelled() const { return label.data() != nullptr; }
};

// Takes apart, without recursion, everything below a node being destroyed that only it holds.
//
// Destroying a deep tree would otherwise destroy each level from inside its parent's destructor.
// Instead every child held by nobody else is moved out of its slot before it is dropped, so that
// no destructor finds anything left to destroy. A child that has children of its own becomes the
// next node to take apart; the stack holds only the nodes whose children are not all taken yet.
//
// Nodes must never be held weakly (or only by references whose holders keep the target alive),
// so that a count of one means nobody else can reach the node.
template <typename Tree>
void ReleaseChildren(typename Tree::Children children) {
  using Node = typename Tree::Node;
  struct Open {
    std::shared_ptr<const Node> node;  // null for the node being destroyed
    typename Tree::Children children;
  };
  boost::container::small_vector<Open, 4> open;
  open.push_back({nullptr, std::move(children)});
  TreeChild<Node> child;
  while (!open.empty()) {
    if (!open.back().children.Next(child)) {
      open.pop_back();
      continue;
    }
    // Every node is created mutable; only the pointers to it are const.
    auto& slot = const_cast<std::shared_ptr<const Node>&>(*child.slot);
    if (slot && slot.use_count() == 1) {
      // Orders the reads below after the releases of the other owners.
      std::atomic_thread_fence(std::memory_order_acquire);
      typename Tree::Children grandchildren(*slot);
      if (!grandchildren.Done()) {
        std::shared_ptr<const Node> taken = std::move(slot);
        // A node whose last child this was is finished: a chain needs one entry, however long.
        if (open.back().children.Done()) open.pop_back();
        open.push_back({std::move(taken), std::move(grandchildren)});
        continue;
      }
    }
    slot.reset();
  }
}

// Structural equality: equal nodes whose children are equal, a labelled child matched by its
// label and the others by position.
template <typename Tree>
bool SameTrees(const typename Tree::Node* a, const typename Tree::Node* b) {
  using Node = typename Tree::Node;
  boost::container::small_vector<std::pair<const Node*, const Node*>, 16> pending;
  pending.emplace_back(a, b);
  TreeChild<Node> child, counterpart;
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (x == y) continue;  // the same object, or both null
    if (x == nullptr || y == nullptr || !Tree::SameNode(*x, *y)) return false;
    typename Tree::Children mine(*x);
    if (mine.Done()) continue;
    typename Tree::Children theirs(*y);
    while (mine.Next(child)) {
      const std::shared_ptr<const Node>* match;
      if (child.Labelled()) {
        match = Tree::FindChild(*y, child.label);
        if (match == nullptr) return false;
      } else {
        theirs.Next(counterpart);
        match = counterpart.slot;
      }
      pending.emplace_back(child.slot->get(), match->get());
    }
  }
  return true;
}

// The text form: each node's opening, its children separated by ", " and preceded by their
// labels, then its closing; "null" for a missing node.
template <typename Tree>
std::string TreeText(const typename Tree::Node* root) {
  using Node = typename Tree::Node;
  struct Open {
    const Node* node;
    typename Tree::Children children;
    bool first;
  };
  std::string out;
  boost::container::small_vector<Open, 8> open;
  TreeChild<Node> child;
  for (const Node* node = root;;) {
    if (node == nullptr) {
      out += "null";
    } else {
      Tree::Open(out, *node);
      typename Tree::Children children(*node);
      if (children.Done()) {
        Tree::Close(out, *node);
      } else {
        open.push_back({node, std::move(children), true});
      }
    }
    // The next child of the innermost node that has one left, closing the finished ones.
    for (;;) {
      if (open.empty()) return out;
      Open& top = open.back();
      if (top.children.Next(child)) break;
      Tree::Close(out, *top.node);
      open.pop_back();
    }
    Open& top = open.back();
    if (!top.first) out += ", ";
    top.first = false;
    if (child.Labelled()) {
      out += child.label;
      out += ": ";
    }
    node = child.slot->get();
  }
}

}  // namespace Quil::Detail
