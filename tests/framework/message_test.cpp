#include <quil/message.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Quil {
namespace {

using Texts = std::vector<std::string>;

TEST(MakeMessageTest, RendersTheTemplateAndRecordsEachArgumentWhole) {
  const std::string type = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info";
  const std::string withZero("a\0b", 3);
  struct Case {
    BaseMessage made;
    std::string text;
    Texts args;
  };
  const Case cases[] = {
      {MakeMessage("quil.test.one", "Field {1} is bad.", "name"), "Field name is bad.", {"name"}},
      {MakeMessage("t", "{2} is not {1}", "string", "long"),
       "long is not string",
       {"string", "long"}},
      {MakeMessage("t", "Type {1}: {{unchanged}}", type), "Type " + type + ": {unchanged}", {type}},
      // The three-argument form always records three texts, the last empty.
      {MakeMessage("t", "{1}.{2}{3}!", "field", type, ""),
       "field." + type + "!",
       {"field", type, ""}},
      {MakeMessage("t", "{1}", withZero), withZero, {withZero}},
      // Placeholders inside arguments are not rendered again.
      {MakeMessage("t", "{1}", "{2}"), "{2}", {"{2}"}},
      // A format error keeps the text rendered before it.
      {MakeMessage("t", "Expected {1}, got {2}.", "x"), "Expected x, got ", {"x"}},
      // Specifiers shape the rendering but never the recorded argument text.
      {MakeMessage("t", "[{1:-5}][{2:.2}][{3:3}]", "ab", std::string("xyz"), ""),
       "[ab   ][xy][   ]",
       {"ab", "xyz", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.made.defaultMessage, c.text);
    EXPECT_EQ(c.made.args, c.args);
  }
  EXPECT_EQ(cases[0].made.id, "quil.test.one");
}

}  // namespace
}  // namespace Quil
