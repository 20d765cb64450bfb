#include <quil/core/message_catalogue.h>

#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/format.h>
#include <quil/message.h>

namespace Quil::Core {
namespace {

// Every identifier the system raises, with the number of arguments it is raised with.
const std::vector<std::pair<std::size_t, std::vector<std::string_view>>> kRaisedIds = {
    {0, {"quil.data.invalid.type", "quil.provider.method.signal.not.connected"}},
    {1,
     {"quil.data.unset.non.optional.field", "quil.data.bad.cast1",
      "quil.data.union.missing.tag.field", "quil.invoke.invalid.input", "quil.data.value.missing",
      "quil.data.definition.field.missing", "quil.data.definition.value.missing",
      "quil.data.definition.missing", "quil.data.definition.check.truncated",
      "quil.provider.method.invalid.input", "quil.provider.method.invalid.output"}},
    {2,
     {"quil.data.union.invalid.case.state.isnotset.short",
      "quil.data.union.invalid.case.state.isset.short", "quil.data.field.missing",
      "quil.data.value.wrong.type", "quil.data.primitive.parse",
      "quil.provider.operation.not.found", "quil.data.definition.ref.unresolved",
      "quil.provider.method.invalid.error", "quil.provider.method.undeclared.error",
      "quil.provider.method.definition.missing"}},
    {3,
     {"quil.data.compound.field.extra", "quil.data.definition.type.mismatch",
      "quil.data.definition.string.unparsable", "quil.data.definition.union.case.required",
      "quil.data.definition.union.case.forbidden"}},
};

TEST(MessageCatalogueTest, SortedUniqueAndComplete) {
  const MessageCatalogue catalogue = GetCoreMessageCatalogue();
  for (const MessageCatalogueEntry& entry : catalogue) {
    EXPECT_TRUE(&entry == catalogue.begin() || (&entry)[-1].id < entry.id) << entry.id;
    EXPECT_EQ(FindCoreMessage(entry.id), &entry);
    EXPECT_FALSE(entry.messageTemplate.empty()) << entry.id;
  }

  for (const auto& [argCount, ids] : kRaisedIds) {
    for (std::string_view id : ids) {
      const MessageCatalogueEntry* entry = FindCoreMessage(id);
      ASSERT_NE(entry, nullptr) << id;
      // Rendering with the arguments the id is raised with must not run out of arguments, and
      // must show each of them (the third argument of the extra-field message is always empty).
      std::vector<std::string> args;
      for (std::size_t i = 1; i <= argCount; ++i) {
        const bool alwaysEmpty = id == "quil.data.compound.field.extra" && i == 3;
        args.push_back(alwaysEmpty ? "" : "<arg" + std::to_string(i) + ">");
      }
      std::vector<Detail::format_arg> formatArgs;
      for (const std::string& arg : args) formatArgs.push_back(Detail::MakeFormatArg(arg));
      std::error_code error(0, std::system_category());
      const std::string text =
          Detail::Format(entry->messageTemplate, formatArgs.data(), formatArgs.size(), error);
      EXPECT_FALSE(error) << id;
      for (const std::string& arg : args) {
        EXPECT_NE(text.find(arg), std::string::npos) << id << " misses " << arg;
      }
      // Without arguments a message keeps the template unrendered, placeholders included.
      const Message<CoreTag> unrendered{std::string(id)};
      EXPECT_EQ(unrendered.defaultMessage, entry->messageTemplate);
      EXPECT_TRUE(unrendered.args.empty());
    }
  }
  EXPECT_EQ(FindCoreMessage("quil.invoke.invalid"), nullptr);
}

}  // namespace
}  // namespace Quil::Core
