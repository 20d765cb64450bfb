#include <quil/provider/api_method.h>

namespace Quil::Provider {

void AsyncApiMethod::ResultCb::operator()(Data::DataValuePtr output, Data::ErrorValuePtr error,
                                          const Progress& progress,
                                          Continuation&& continuation) const {
  if (output == nullptr && error == nullptr) {
    function_(nullptr, nullptr, progress, std::move(continuation));
    return;
  }
  // Emptied before the call: a callee that answers again through this object gets
  // std::bad_function_call instead of a second final answer.
  Function function = std::move(function_);
  function_ = nullptr;
  function(std::move(output), std::move(error), progress, std::move(continuation));
}

AsyncApiMethod::~AsyncApiMethod() = default;

std::shared_ptr<AsyncApiInterface> AsyncApiInterface::GetInstance(
    std::shared_ptr<const Core::InterfaceIdentifier> identifier, MethodList methods) {
  return std::make_shared<AsyncApiInterface>(std::move(identifier), std::move(methods));
}

std::shared_ptr<const AsyncApiMethod> AsyncApiInterface::FindMethod(std::string_view name) const {
  for (const auto& method : methods_) {
    if (method != nullptr && method->methodName() == name) {
      return method;
    }
  }
  return nullptr;
}

}  // namespace Quil::Provider
