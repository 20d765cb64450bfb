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
const std::vector<std::pair<std::string_view, std::size_t>> kRaisedIds = {
    {"quil.data.unset.non.optional.field", 1},
    {"quil.data.bad.cast1", 1},
    {"quil.data.invalid.type", 0},
    {"quil.data.compound.field.extra", 3},
    {"quil.data.union.invalid.case.state.isnotset.short", 2},
    {"quil.data.union.invalid.case.state.isset.short", 2},
    {"quil.data.union.missing.tag.field", 1},
    {"quil.invoke.invalid.input", 1},
    {"quil.provider.method.signal.not.connected", 0},
    {"quil.data.field.missing", 2},
    {"quil.data.value.missing", 1},
    {"quil.data.value.wrong.type", 2},
    {"quil.data.primitive.parse", 2},
    {"quil.provider.operation.not.found", 2},
    {"quil.data.definition.type.mismatch", 3},
    {"quil.data.definition.string.unparsable", 3},
    {"quil.data.definition.field.missing", 1},
    {"quil.data.definition.value.missing", 1},
    {"quil.data.definition.missing", 1},
    {"quil.data.definition.ref.unresolved", 2},
    {"quil.data.definition.union.case.required", 3},
    {"quil.data.definition.union.case.forbidden", 3},
    {"quil.data.definition.check.truncated", 1},
    {"quil.provider.method.invalid.input", 1},
    {"quil.provider.method.invalid.output", 1},
    {"quil.provider.method.invalid.error", 2},
    {"quil.provider.method.undeclared.error", 2},
    {"quil.provider.method.definition.missing", 2},
};

TEST(MessageCatalogueTest, SortedUniqueAndComplete) {
  const MessageCatalogue catalogue = GetCoreMessageCatalogue();
  ASSERT_GE(catalogue.size, kRaisedIds.size());
  for (const MessageCatalogueEntry* entry = catalogue.begin() + 1; entry != catalogue.end();
       ++entry) {
    EXPECT_LT(entry[-1].id, entry->id);
  }
  for (const MessageCatalogueEntry& entry : catalogue) {
    EXPECT_EQ(FindCoreMessage(entry.id), &entry);
    EXPECT_FALSE(entry.messageTemplate.empty()) << entry.id;
  }

  for (const auto& [id, argCount] : kRaisedIds) {
    const MessageCatalogueEntry* entry = FindCoreMessage(id);
    ASSERT_NE(entry, nullptr) << id;
    // Rendering with the arguments the id is raised with must not run out of arguments, and
    // must show each of them (the third argument of the extra-field message is always empty).
    std::vector<std::string> args;
    for (std::size_t i = 1; i <= argCount; ++i) {
      args.push_back(
          id == "quil.data.compound.field.extra" && i == 3 ? "" : "<arg" + std::to_string(i) + ">");
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
    EXPECT_EQ(Message<CoreTag>::DefaultMessageForId(id), entry->messageTemplate);
  }

  EXPECT_EQ(FindCoreMessage("quil.invoke.invalid"), nullptr);
  EXPECT_EQ(FindCoreMessage("quil.invoke.invalid.input.x"), nullptr);
  EXPECT_EQ(FindCoreMessage(""), nullptr);
}

TEST(MessageCatalogueTest, UnknownIdsGetATemplateNamingThem) {
  // Braces in an unknown id are escaped, so that the rendered text names the id as it is.
  const std::string oddId = "odd.{1}.id}";
  EXPECT_NE(Message<CoreTag>::DefaultMessageForId(oddId).find("\"odd.{{1}}.id}}\""),
            std::string::npos);
  const Message<CoreTag> rendered(oddId, std::string("argument"));
  EXPECT_NE(rendered.defaultMessage.find("\"odd.{1}.id}\""), std::string::npos);
  EXPECT_EQ(rendered.defaultMessage.find("argument"), std::string::npos);
  EXPECT_EQ(rendered.args, std::vector<std::string>{"argument"});
}

}  // namespace
}  // namespace Quil::Core
