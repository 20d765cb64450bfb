#include <quil/message.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Quil {
namespace {

using Texts = std::vector<std::string>;

TEST(MakeMessageTest, RendersTemplateAndRecordsEachArgument) {
  BaseMessage one = MakeMessage("quil.test.one", "Field {1} is bad.", "name");
  EXPECT_EQ(one.id, "quil.test.one");
  EXPECT_EQ(one.defaultMessage, "Field name is bad.");
  EXPECT_EQ(one.args, Texts{"name"});

  BaseMessage two = MakeMessage("quil.test.two", "{2} is not {1}", "string", "long");
  EXPECT_EQ(two.defaultMessage, "long is not string");
  EXPECT_EQ(two.args, (Texts{"string", "long"}));

  const std::string type = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info";
  BaseMessage object = MakeMessage("quil.test.object", "Type {1}: {{unchanged}}", type);
  EXPECT_EQ(object.defaultMessage, "Type " + type + ": {unchanged}");
  EXPECT_EQ(object.args, Texts{type});

  // The three-argument form always records three texts, the last empty.
  BaseMessage three = MakeMessage("quil.test.three", "{1}.{2}{3}!", "field", type, "");
  EXPECT_EQ(three.defaultMessage, "field." + type + "!");
  EXPECT_EQ(three.args, (Texts{"field", type, ""}));

  // A text with an embedded zero byte is recorded whole.
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(MakeMessage("quil.test.zero", "{1}", withZero).args, Texts{withZero});
  // Placeholders inside arguments are not rendered again.
  EXPECT_EQ(MakeMessage("quil.test.nested", "{1}", "{2}").defaultMessage, "{2}");
}

TEST(MakeMessageTest, FormatErrorKeepsTheTextRenderedBeforeIt) {
  BaseMessage message = MakeMessage("quil.test.short", "Expected {1}, got {2}.", "x");
  EXPECT_EQ(message.defaultMessage, "Expected x, got ");
  EXPECT_EQ(message.args, Texts{"x"});

  // Specifiers shape the rendering but never the recorded argument text.
  message = MakeMessage("quil.test.spec", "[{1:-5}][{2:.2}][{3:3}]", "ab", std::string("xyz"), "");
  EXPECT_EQ(message.defaultMessage, "[ab   ][xy][   ]");
  EXPECT_EQ(message.args, (Texts{"ab", "xyz", ""}));
}

TEST(CoreMessageTest, TakesTemplateFromCatalogue) {
  // The catalogue test checks every template; this one how a record is made from it.
  const std::string invalidInput =
      Message<CoreTag>::DefaultMessageForId("quil.invoke.invalid.input");

  const std::string operation = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Update";
  Message<CoreTag> rendered("quil.invoke.invalid.input", operation);
  EXPECT_EQ(rendered.id, "quil.invoke.invalid.input");
  EXPECT_EQ(rendered.defaultMessage, "Invalid input for operation " + operation + ".");
  EXPECT_EQ(rendered.args, Texts{operation});
  EXPECT_EQ(static_cast<const BaseMessage&>(rendered),
            MakeMessage("quil.invoke.invalid.input", invalidInput, operation));

  // Without arguments the template stays as the catalogue holds it, placeholders included.
  Message<CoreTag> unrendered("quil.invoke.invalid.input");
  EXPECT_EQ(unrendered.defaultMessage, "Invalid input for operation {1}.");
  EXPECT_TRUE(unrendered.args.empty());
}

}  // namespace
}  // namespace Quil
