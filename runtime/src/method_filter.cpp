#include <quil/provider/method_filter.h>

#include <string>

#include <quil/error_names.h>

namespace Quil::Provider::MethodFilterDetail {

void RejectInput(const AsyncApiMethod::ResultCb& callback, const MessageList& messages) {
  callback(nullptr, Data::ErrorValue::Create(std::string(ErrorNames::kInvalidArgument), messages),
           kFinalProgress, {});
}

}  // namespace Quil::Provider::MethodFilterDetail
