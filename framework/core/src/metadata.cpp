#include <quil/metadata.h>

#include <atomic>
#include <utility>
#include <vector>

namespace Quil::Metadata {

namespace {

using FieldInfoPtr = std::shared_ptr<const FieldInfo>;

// Moves the nested descriptions of every entry that only `map` refers to onto `work`, then the
// entries of `work` likewise, so that no destructor finds anything nested to destroy.
void Release(FieldInfoMap& map) {
  std::vector<FieldInfoPtr> work;
  auto take = [&work](FieldInfoMap& from) {
    for (auto& entry : from) work.push_back(std::move(entry.second));
    from.clear();
  };
  take(map);
  while (!work.empty()) {
    FieldInfoPtr child = std::move(work.back());
    work.pop_back();
    // Never held weakly: a count of one means no other owner can reach the child. The fence
    // orders the reads below after the other owners' releases.
    if (child && child.use_count() == 1 && !child->fields.empty()) {
      std::atomic_thread_fence(std::memory_order_acquire);
      // Descriptions are created mutable; only the pointers to them are const.
      take(const_cast<FieldInfo&>(*child).fields);
    }
  }
}

bool SameFields(const FieldInfo& a, const FieldInfo& b) {
  return a.number == b.number && a.flag == b.flag && a.resourceType == b.resourceType &&
         a.extra == b.extra && a.fields.size() == b.fields.size();
}

// Compares two maps entry by entry, descending into nested maps with an explicit stack.
bool SameMaps(const FieldInfoMap& first, const FieldInfoMap& second) {
  std::vector<std::pair<const FieldInfoMap*, const FieldInfoMap*>> work{{&first, &second}};
  while (!work.empty()) {
    auto [a, b] = work.back();
    work.pop_back();
    if (a->size() != b->size()) return false;
    for (auto x = a->begin(), y = b->begin(); x != a->end(); ++x, ++y) {
      if (x->first != y->first) return false;
      const FieldInfo* left = x->second.get();
      const FieldInfo* right = y->second.get();
      if (left == right) continue;
      if (left == nullptr || right == nullptr || !SameFields(*left, *right)) return false;
      work.emplace_back(&left->fields, &right->fields);
    }
  }
  return true;
}

}  // namespace

FieldInfo::~FieldInfo() { Release(fields); }

StructInfo::~StructInfo() { Release(fields); }

bool operator==(const FieldInfo& a, const FieldInfo& b) {
  return SameFields(a, b) && SameMaps(a.fields, b.fields);
}

bool operator==(const StructInfo& a, const StructInfo& b) {
  return a.number == b.number && a.name == b.name && a.extra == b.extra &&
         SameMaps(a.fields, b.fields);
}

}  // namespace Quil::Metadata
