// What tavo-vm prints about the catalogue: the list of services, the description of the whole
// catalogue, an interface or an operation (as text for a person, or as JSON for scripts), and the
// input skeleton of an operation. All of it comes from the catalogue model, so from the same
// definitions that the server checks inputs against.
//
// The skeleton holds every field: a placeholder of its type where a value is needed ("" for a
// string, 0, false, the first value of an enumeration, one element for a list of structures),
// null where the field may be left out, and optional structures written out so that their fields
// show. A union takes its tag's first value and fills its members by that value's case. The
// skeleton as printed fits the input definition.
//
//   auto catalogue = Tavo::Tool::Catalogue::Load();
//   std::fputs(Tavo::Tool::DescribeText(catalogue, nullptr, get).c_str(), stdout);
#pragma once

#include <string>
#include <string_view>

#include <boost/json/value.hpp>

#include "catalogue_model.h"

namespace Tavo::Tool {

std::string ServicesText(const Catalogue& catalogue);
boost::json::value ServicesJson(const Catalogue& catalogue);
// Every operation's short name, one a line.
std::string OperationNames(const Catalogue& catalogue);

// `interface` and `operation` null: the whole catalogue; `operation` set: that operation in full.
std::string DescribeText(const Catalogue& catalogue, const Interface* interface,
                         const Operation* operation);
boost::json::value DescribeJson(const Catalogue& catalogue, const Interface* interface,
                                const Operation* operation);

boost::json::value InputSkeleton(const Catalogue& catalogue, const Operation& operation);

// JSON text: one line, or indented by two spaces a level (for a terminal).
std::string JsonText(const boost::json::value& value, bool indented);
// Indents a JSON text that is already valid; nothing recurses.
std::string IndentJson(std::string_view compact);

}  // namespace Tavo::Tool
