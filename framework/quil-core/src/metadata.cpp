#include <quil/metadata.h>

#include <string_view>

#include "tree_walk.h"

namespace Quil::Metadata {

namespace {

using FieldInfoPtr = std::shared_ptr<const FieldInfo>;

// The nested descriptions of a field, labelled with their field names.
class FieldInfoChildren {
 public:
  explicit FieldInfoChildren(const FieldInfo& field) : FieldInfoChildren(field.fields) {}
  explicit FieldInfoChildren(const FieldInfoMap& fields)
      : field_(fields.begin()), end_(fields.end()) {}

  bool Done() const { return field_ == end_; }
  bool Next(Quil::Detail::TreeChild<FieldInfo>& child) {
    if (field_ == end_) return false;
    child = {&field_->second, field_->first};
    ++field_;
    return true;
  }

 private:
  FieldInfoMap::const_iterator field_, end_;
};

// Descriptions are never held weakly.
struct FieldInfoTree {
  using Node = FieldInfo;
  using Children = FieldInfoChildren;
  static bool SameNode(const FieldInfo& a, const FieldInfo& b) {
    return a.number == b.number && a.flag == b.flag && a.resourceType == b.resourceType &&
           a.extra == b.extra && a.fields.size() == b.fields.size();
  }
  static const FieldInfoPtr* FindChild(const FieldInfo& field, std::string_view label) {
    auto found = field.fields.find(std::string(label));
    return found == field.fields.end() ? nullptr : &found->second;
  }
};

}  // namespace

FieldInfo::~FieldInfo() { Quil::Detail::ReleaseChildren<FieldInfoTree>(FieldInfoChildren(fields)); }

StructInfo::~StructInfo() {
  Quil::Detail::ReleaseChildren<FieldInfoTree>(FieldInfoChildren(fields));
}

bool operator==(const FieldInfo& a, const FieldInfo& b) {
  return Quil::Detail::SameTrees<FieldInfoTree>(&a, &b);
}

bool operator==(const StructInfo& a, const StructInfo& b) {
  if (a.number != b.number || a.name != b.name || a.extra != b.extra ||
      a.fields.size() != b.fields.size()) {
    return false;
  }
  for (auto x = a.fields.begin(), y = b.fields.begin(); x != a.fields.end(); ++x, ++y) {
    if (x->first != y->first ||
        !Quil::Detail::SameTrees<FieldInfoTree>(x->second.get(), y->second.get())) {
      return false;
    }
  }
  return true;
}

}  // namespace Quil::Metadata
