// The nine structure metadata factories, and the description types' equality and destruction.
#include <quil/metadata.h>

#include <pthread.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/vm/device/cdrom.h>
#include <tavo/vm/device/disk.h>
#include <tavo/vm/device/network.h>
#include <tavo/vm/nask.h>

namespace Catalogue {
namespace {

namespace Cdrom = ::Com::Korvan::Tavo::Vm::Device::CdromSvc;
namespace Disk = ::Com::Korvan::Tavo::Vm::Device::DiskSvc;
namespace Network = ::Com::Korvan::Tavo::Vm::Device::NetworkSvc;
namespace Nask = ::Com::Korvan::Tavo::Vm::NaskSvc;

using Quil::Metadata::FieldInfo;
using Quil::Metadata::StructInfo;

using Entries = std::vector<std::pair<std::string, std::string>>;  // key, resource type

struct FactoryCase {
  std::shared_ptr<StructInfo> (*create)();
  std::string name;  // after "com.korvan.tavo.vm."
  Entries fields;
};

const std::string kVm = "com.korvan.tavo.resources.VirtualMachine";
const std::string kDisk = "com.korvan.tavo.resources.VirtualDisk";
const std::string kNetwork = "com.korvan.tavo.resources.NetworkId";
const std::string kCdrom = "Resources.VIRTUAL_CDROM";

TEST(MetadataTest, NineFactoriesDescribeTheIdentifierFields) {
  const std::vector<FactoryCase> factories = {
      {&StructInfo::Create<Cdrom::FilterSpec>, "device.Cdrom.FilterSpec", {{"cdroms", kCdrom}}},
      {&StructInfo::Create<Cdrom::Summary>, "device.Cdrom.Summary", {{"cdrom", kCdrom}}},
      {&StructInfo::Create<Disk::Summary>, "device.Disk.Summary", {{"disk", kDisk}}},
      {&StructInfo::Create<Disk::FilterSpec>, "device.Disk.FilterSpec", {{"disks", kDisk}}},
      {&StructInfo::Create<Disk::AddSpec>, "device.Disk.AddSpec", {{"disk", kDisk}, {"vm", kVm}}},
      {&StructInfo::Create<Network::Summary>, "device.Network.Summary", {{"id", kNetwork}}},
      {&StructInfo::Create<Network::FilterSpec>,
       "device.Network.FilterSpec",
       {{"networks", kNetwork}}},
      {&StructInfo::Create<Network::AddSpec>,
       "device.Network.AddSpec",
       {{"network", kNetwork}, {"vm", kVm}}},
      {&StructInfo::Create<Nask::CreateSpec>, "Nask.CreateSpec", {{"vm", kVm}}},
  };

  for (const FactoryCase& factory : factories) {
    SCOPED_TRACE(factory.name);
    const std::shared_ptr<StructInfo> info = factory.create();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "com.korvan.tavo.vm." + factory.name);
    EXPECT_EQ(info->number, 0);
    EXPECT_FALSE(info->extra.has_value());
    Entries entries;  // in key order, as the map holds them
    for (const auto& [key, field] : info->fields) {
      ASSERT_NE(field, nullptr) << key;
      entries.emplace_back(key, field->resourceType);
      EXPECT_EQ(field->number, 0) << key;
      EXPECT_FALSE(field->flag) << key;
      EXPECT_TRUE(field->fields.empty()) << key;
      EXPECT_FALSE(field->extra.has_value()) << key;
    }
    EXPECT_EQ(entries, factory.fields);

    // Built anew by every call: distinct objects, equal contents.
    const std::shared_ptr<StructInfo> again = factory.create();
    EXPECT_NE(again, info);
    EXPECT_EQ(*again, *info);
    EXPECT_NE(again->fields.begin()->second, info->fields.begin()->second);
  }
}

// A chain of `depth` field descriptions, each nested in the previous one under "next".
std::shared_ptr<FieldInfo> Chain(std::size_t depth, const std::string& lastResource) {
  auto root = std::make_shared<FieldInfo>();
  FieldInfo* current = root.get();
  for (std::size_t i = 1; i < depth; ++i) {
    auto next = std::make_shared<FieldInfo>();
    FieldInfo* raw = next.get();
    current->fields["next"] = std::move(next);
    current = raw;
  }
  current->resourceType = lastResource;
  return root;
}

TEST(MetadataTest, EqualityComparesNestedDescriptionsByContent) {
  FieldInfo a, b;
  EXPECT_EQ(a, b);
  b.flag = true;
  EXPECT_NE(a, b);
  b = FieldInfo{};
  b.extra = "";
  EXPECT_NE(a, b) << "an empty extra text is not an unset one";
  // Same keys, one entry null: unequal; both null: equal. Different keys: unequal.
  a.fields["x"] = nullptr;
  b = FieldInfo{};
  b.fields["x"] = std::make_shared<FieldInfo>();
  EXPECT_NE(a, b);
  b.fields["x"] = nullptr;
  EXPECT_EQ(a, b);
  a.fields = {{"x", std::make_shared<FieldInfo>()}};
  b.fields = {{"y", std::make_shared<FieldInfo>()}};
  EXPECT_NE(a, b);

  StructInfo s, t;
  s.fields["vm"] = Chain(3, "deep");
  t.fields["vm"] = Chain(3, "deep");
  EXPECT_EQ(s, t);
  t.fields["vm"] = Chain(3, "other");
  EXPECT_NE(s, t);
}

void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

TEST(MetadataTest, DeepNestingIsComparedAndDestroyedWithoutRecursion) {
  constexpr std::size_t kDepth = 100000;
  RunOnSmallStack([] {
    StructInfo a, b;
    a.fields["root"] = Chain(kDepth, "end");
    b.fields["root"] = Chain(kDepth, "end");
    EXPECT_TRUE(a == b);
    b.fields["root"] = Chain(kDepth, "END");
    EXPECT_FALSE(a == b);
    // A nested description still referred to from elsewhere survives the destruction.
    auto kept = std::const_pointer_cast<FieldInfo>(a.fields["root"]->fields.at("next"));
    a.fields.clear();
    EXPECT_EQ(kept->fields.count("next"), 1u);
    kept.reset();
    auto field = Chain(kDepth, "end");
    field.reset();
  });
}

}  // namespace
}  // namespace Catalogue
