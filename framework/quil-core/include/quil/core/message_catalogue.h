// The framework's core message catalogue: the default template of every message identifier the
// framework and the bindings raise. Message<CoreTag>::DefaultMessageForId reads it; an identifier
// it does not hold gets a template that names the identifier.
#pragma once

#include <cstddef>
#include <string_view>

#include <quil/export.h>

namespace Quil::Core {

struct MessageCatalogueEntry {
  std::string_view id;
  std::string_view messageTemplate;  // placeholders "{1}", "{2}", ... for the arguments
};

// The entries in ascending byte-wise order of their identifiers, each identifier once.
struct MessageCatalogue {
  const MessageCatalogueEntry* first;
  std::size_t size;

  const MessageCatalogueEntry* begin() const { return first; }
  const MessageCatalogueEntry* end() const { return first + size; }
};

QUIL_CORE_API MessageCatalogue GetCoreMessageCatalogue();

// The entry of `id`, or null.
QUIL_CORE_API const MessageCatalogueEntry* FindCoreMessage(std::string_view id);

}  // namespace Quil::Core
