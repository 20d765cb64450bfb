#include <quil/metadata.h>

#include <utility>
#include <vector>

#include "iterative_release.h"

namespace Quil::Metadata {

namespace {

using FieldInfoPtr = std::shared_ptr<const FieldInfo>;

// Descriptions are never held weakly.
struct FieldInfoTree {
  using Node = FieldInfo;
  static bool HasChildren(const FieldInfo& field) { return !field.fields.empty(); }
  static void TakeChildren(FieldInfo& field, Quil::Detail::ReleaseList<FieldInfo>& work) {
    for (auto& entry : field.fields) work.push_back(std::move(entry.second));
    field.fields.clear();
  }
};

void Release(FieldInfoMap& map) {
  for (auto& entry : map) Quil::Detail::ReleaseOne<FieldInfoTree>(entry.second);
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
