#include <quil/provider/interface_registry.h>

#include <algorithm>
#include <utility>

#include <quil/data/native_error.h>
#include <quil/error_names.h>
#include <quil/l10n/localizer.h>
#include <quil/message.h>

namespace Quil::Provider {

// Immutable once published, apart from the history it owns.
struct InterfaceRegistry::Table {
  struct Entry {
    std::string name;
    std::shared_ptr<const AsyncApiInterface> api;
    // The interface's methods in binding order, each by its name: the first of a name wins.
    std::vector<std::pair<std::string_view, const std::shared_ptr<const AsyncApiMethod>*>> methods;
  };

  std::vector<Entry> entries;  // by ascending name
  std::unique_ptr<Table> replaced;

  // Where an entry of that name is or would go.
  template <typename Entries>
  static auto LowerBound(Entries& entries, std::string_view name) {
    return std::lower_bound(
        entries.begin(), entries.end(), name,
        [](const Entry& entry, std::string_view key) { return entry.name < key; });
  }

  const Entry* FindEntry(std::string_view name) const {
    auto found = LowerBound(entries, name);
    return found != entries.end() && found->name == name ? &*found : nullptr;
  }

  const std::shared_ptr<const AsyncApiMethod>* FindMethod(std::string_view interfaceName,
                                                          std::string_view methodName) const {
    const Entry* entry = FindEntry(interfaceName);
    if (entry == nullptr) return nullptr;
    for (const auto& [name, method] : entry->methods) {
      if (name == methodName) return method;
    }
    return nullptr;
  }
};

InterfaceRegistry::InterfaceRegistry() : current_(std::make_unique<Table>().release()) {}

InterfaceRegistry::InterfaceRegistry(
    const std::vector<std::shared_ptr<const AsyncApiInterface>>& interfaces)
    : InterfaceRegistry() {
  for (const auto& api : interfaces) Register(api);
}

InterfaceRegistry::~InterfaceRegistry() {
  // One table at a time: releasing a long history through the owners would recurse.
  std::unique_ptr<Table> table(current_.load(std::memory_order_acquire));
  while (table != nullptr) table = std::move(table->replaced);
}

template <typename Change>
bool InterfaceRegistry::Publish(Change change) {
  Table* current = current_.load(std::memory_order_acquire);
  for (;;) {
    auto next = std::make_unique<Table>();
    next->entries = current->entries;
    if (!change(next->entries)) return false;
    next->replaced.reset(current);
    // Another change published first: apply this one to that table instead.
    if (current_.compare_exchange_weak(current, next.get(), std::memory_order_acq_rel,
                                       std::memory_order_acquire)) {
      next.release();
      return true;
    }
    (void)next->replaced.release();
  }
}

bool InterfaceRegistry::Register(std::shared_ptr<const AsyncApiInterface> api) {
  if (api == nullptr || api->GetIdentifier() == nullptr) return false;
  Table::Entry added{api->GetIdentifier()->GetName(), api, {}};
  for (const auto& method : api->GetMethods()) {
    if (method != nullptr) added.methods.emplace_back(method->methodName(), &method);
  }
  return Publish([&added](std::vector<Table::Entry>& entries) {
    auto at = Table::LowerBound(entries, added.name);
    if (at != entries.end() && at->name == added.name) return false;
    entries.insert(at, added);
    return true;
  });
}

bool InterfaceRegistry::Unregister(std::string_view interfaceName) {
  return Publish([interfaceName](std::vector<Table::Entry>& entries) {
    auto found = Table::LowerBound(entries, interfaceName);
    if (found == entries.end() || found->name != interfaceName) return false;
    entries.erase(found);
    return true;
  });
}

std::shared_ptr<const AsyncApiInterface> InterfaceRegistry::Find(
    std::string_view interfaceName) const {
  const Table::Entry* entry = Current().FindEntry(interfaceName);
  return entry == nullptr ? nullptr : entry->api;
}

std::shared_ptr<const AsyncApiMethod> InterfaceRegistry::FindMethod(
    std::string_view interfaceName, std::string_view methodName) const {
  const auto* method = Current().FindMethod(interfaceName, methodName);
  return method == nullptr ? nullptr : *method;
}

const std::shared_ptr<const AsyncApiMethod>* InterfaceRegistry::Route(
    const Core::MethodIdentifier* method) const {
  if (method == nullptr || method->GetInterface() == nullptr) return nullptr;
  return Current().FindMethod(method->GetInterface()->GetName(), method->GetName());
}

std::vector<std::shared_ptr<const AsyncApiInterface>> InterfaceRegistry::List() const {
  const Table& table = Current();
  std::vector<std::shared_ptr<const AsyncApiInterface>> all;
  all.reserve(table.entries.size());
  for (const auto& entry : table.entries) all.push_back(entry.api);
  return all;
}

Core::MethodResultPtr InterfaceRegistry::OperationNotFound(
    std::string_view interfaceName, std::string_view methodName,
    const Core::AsyncActivation* activation) {
  Data::NativeError error{std::string(ErrorNames::kOperationNotFound),
                          {Message<CoreTag>("quil.provider.operation.not.found",
                                            std::string(interfaceName), std::string(methodName))}};
  L10n::RequestLocalizer localizer =
      activation != nullptr ? activation->GetErrorRequestLocalizer()
                            : L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return Core::MethodResult::Create(nullptr,
                                    Data::NativeErrorHelper::GetError(nullptr, error, localizer));
}

}  // namespace Quil::Provider
