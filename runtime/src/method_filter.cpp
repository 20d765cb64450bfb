#include <quil/provider/method_filter.h>

#include <string>

#include <quil/provider/api_method_helper.h>

namespace Quil::Provider::MethodFilterDetail {

void RejectInput(const AsyncApiMethod::ResultCb& callback, const MessageList& messages) {
  callback(nullptr,
           Data::ErrorValue::Create(std::string(ApiMethodHelper::kInvalidArgument), messages),
           kFinalProgress, {});
}

}  // namespace Quil::Provider::MethodFilterDetail
