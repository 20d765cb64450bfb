#include <quil/core/api_result_cb.h>

namespace Quil::Core {

void AsyncApiResultCb::operator()(MethodResultPtr result, const Progress& progress,
                                  Continuation continuation) const {
  if (result == nullptr) {
    function_(nullptr, progress, std::move(continuation));
    return;
  }
  // Emptied before the call, so that a callee answering again through this object, or a failure
  // inside the callee, can never deliver a second final result.
  Function function = std::move(function_);
  function_ = nullptr;
  function(std::move(result), progress, std::move(continuation));
}

}  // namespace Quil::Core
