// Destroying trees held by shared pointers without recursion.
//
// Destroying the root of a deep tree would destroy its children from inside its destructor, and
// theirs from inside those, one call-stack frame per level. Instead, a node's destructor hands
// its children to `Release`, which moves the children of every node it holds the last reference
// to into a work list before dropping it, so that no destructor finds anything left to destroy.
//
// `Tree` describes one kind of node:
//   using Node = ...;                                   // held as std::shared_ptr<const Node>
//   static bool HasChildren(const Node&);
//   static void TakeChildren(Node&, ReleaseList<Node>&); // moves the children out
//
// The nodes must never be held weakly (or only by references whose holders keep the target
// alive), so that a count of one means nobody else can reach the node.
#pragma once

#include <atomic>
#include <memory>
#include <utility>

#include <boost/container/small_vector.hpp>

namespace Quil::Detail {

// A few fit inline, so that destroying a node whose children are leaves or shared does not
// allocate.
template <typename Node>
using ReleaseList = boost::container::small_vector<std::shared_ptr<const Node>, 8>;

template <typename Tree>
void Release(std::shared_ptr<const typename Tree::Node>& child,
             ReleaseList<typename Tree::Node>& work) {
  if (child && child.use_count() == 1 && Tree::HasChildren(*child)) {
    // Orders the reads below after the releases of the other owners.
    std::atomic_thread_fence(std::memory_order_acquire);
    // Every node is created mutable; only the pointers to it are const.
    Tree::TakeChildren(const_cast<typename Tree::Node&>(*child), work);
  }
  child.reset();
}

template <typename Tree>
void ReleaseAll(ReleaseList<typename Tree::Node>& work) {
  while (!work.empty()) {
    std::shared_ptr<const typename Tree::Node> child = std::move(work.back());
    work.pop_back();
    Release<Tree>(child, work);
  }
}

// Releases one child, and everything only it held, iteratively.
template <typename Tree>
void ReleaseOne(std::shared_ptr<const typename Tree::Node>& child) {
  ReleaseList<typename Tree::Node> work;
  Release<Tree>(child, work);
  ReleaseAll<Tree>(work);
}

}  // namespace Quil::Detail
