// The binding tests' helpers in the catalogue tests' namespace, and the messages of decoding.
#pragma once

#include <gtest/gtest.h>

#include <quil/data/definition.h>

#include "binding/test_support.h"

namespace Catalogue {

using namespace ::Quil::Data::Testing;
using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;

// Decodes `value` into `native`, describing what the conversion reports.
template <typename T>
Texts FromValue(const DataValuePtr& value, T& native) {
  Quil::MessageList messages;
  const bool converted = Quil::Data::ValueToNativeAdapter::Adapt(value, native, messages);
  EXPECT_EQ(converted, messages.empty());
  return Describe(messages);
}

}  // namespace Catalogue
