// Checking a dynamic value against a data definition: the one rule set behind the provider's checks
// of inputs, outputs and errors (`Quil::Provider::ApiMethodHelper`).
//
// What fits:
// - a primitive definition: a value of the same kind. In lenient mode a string value also fits
//   when `DataValue::ToPrimitive` converts it to the primitive (any text for string, blob and
//   secret definitions), so the check accepts exactly the strings that the value-to-native
//   adapter will parse later.
// - an optional definition: an optional value holding none; an optional value holding a value
//   that fits the element; a bare value that fits the element (it stands for a present optional).
//   In lenient mode an empty string is an absent optional.
// - a list definition: a list or set value whose elements each fit the element. In lenient mode a
//   string also fits: empty, it is an empty list; otherwise it stands for one element and must fit
//   the element.
// - a structure or error definition (or a structure reference, through its target): a structure,
//   error or structure-reference value (the value's name is not compared) carrying every field the
//   definition declares, unless that field's definition is optional or a union case; fields the
//   definition does not declare are accepted and left to later checks. In lenient mode an empty
//   string also fits (a structure whose fields keep their defaults). A reference whose target is
//   not set, or no longer exists, fits nothing.
// - a union-case field: the enclosing structure's tag field is read as text ("_UNKNOWN" when it is
//   absent or not a string) and handed to the case's predicate: true, the member must be set;
//   indeterminate, it may be; false, it must not be. A member is unset when the field is absent or
//   holds an optional value holding none (in lenient mode also an empty string); a set member's
//   content must fit the case's element.
// - a null value fits nothing, not even an optional: absence is spelled by a missing field or an
//   optional value holding none.
//
// Every failure appends one message whose first argument is the path of the offending value from
// the checked root, for example "update_spec.count" or "messages[2].id"; a failure at the root
// itself is named by `rootName`. The check goes on after a failure so that one run reports every
// problem, up to `kMaxCheckFailures`; a further failure adds one
// "quil.data.definition.check.truncated" message and ends the check.
//
// The walk keeps an explicit stack of open structures and lists, so values nested millions of
// levels deep, also through self-referencing definitions, are checked on a small thread stack.
// A check reads only its arguments and writes only into `messages`.
//
//   MessageList messages;
//   if (!CheckValue(*inputDef, input, CheckMode::Lenient, messages, "input")) { ... }
#pragma once

#include <cstddef>
#include <string_view>

#include <quil/base_message.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/export.h>

namespace Quil::Data {

enum class CheckMode {
  // For inputs: a string value stands in wherever the value-to-native adapter accepts one.
  Lenient,
  // For outputs and errors, which the bindings build themselves: every value has its own kind.
  Exact,
};

// Failures reported by one check before it stops.
inline constexpr std::size_t kMaxCheckFailures = 20;

// True when `value` fits `definition`; otherwise false after appending one message per failure.
QUIL_CORE_API bool CheckValue(const DataDefinition& definition, const DataValuePtr& value,
                              CheckMode mode, MessageList& messages,
                              std::string_view rootName = "value");

}  // namespace Quil::Data
