// Binding one operation: the provider method object of method class M, connected to its filter.
//
// The method class is asked for its error definitions, output definition, input definition and
// name, in that order, once per binding; the signal keeps what they returned for its lifetime.
//
//   auto signal = Quil::Provider::GetApiMethodInstance<GetMethod>(
//       Quil::Provider::MakeMethodFilter<GetMethod>(call), localizer);
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <quil/core/identifiers.h>
#include <quil/data/definition.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_method.h>
#include <quil/provider/method_signal.h>
#include <quil/type_info.h>

namespace Quil::Provider {

// A new signal for M whose handler is `filter`, storing `localizer` as it is.
template <typename M, typename Filter>
std::shared_ptr<AsyncApiMethodSignal> GetApiMethodInstance(
    Filter&& filter, const std::shared_ptr<L10n::Localizer>& localizer) {
  std::vector<Data::DataDefinitionPtr> errorDefs = M::errorDefs();
  Data::DataDefinitionPtr outputDef = M::outputDef();
  Data::DataDefinitionPtr inputDef = M::inputDef();
  std::string methodName = M::methodName();
  std::shared_ptr<AsyncApiMethodSignal> signal =
      AsyncApiMethodSignal::GetInstance(std::move(methodName), std::move(inputDef),
                                        std::move(outputDef), std::move(errorDefs), localizer);
  signal->SetHandler(AsyncApiMethodSignal::Handler(std::forward<Filter>(filter)));
  return signal;
}

// A signal for M with no handler: it carries M's name and definitions and answers every
// invocation with internal_server_error.
template <typename M>
std::shared_ptr<const AsyncApiMethodSignal> DescribeMethod() {
  std::vector<Data::DataDefinitionPtr> errorDefs = M::errorDefs();
  Data::DataDefinitionPtr outputDef = M::outputDef();
  Data::DataDefinitionPtr inputDef = M::inputDef();
  return AsyncApiMethodSignal::GetInstance(M::methodName(), std::move(inputDef),
                                           std::move(outputDef), std::move(errorDefs),
                                           std::make_shared<L10n::Localizer>());
}

// The provider interface of `Interface` with one described method per method class, in order.
template <typename Interface, typename... Methods>
std::shared_ptr<const AsyncApiInterface> DescribeInterface() {
  return AsyncApiInterface::GetInstance(
      Core::InterfaceIdentifier::GetInstance(TypeInfo<Interface>::name()),
      {DescribeMethod<Methods>()...});
}

}  // namespace Quil::Provider
