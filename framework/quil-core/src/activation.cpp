#include <quil/core/activation.h>

namespace Quil::Core {

L10n::RequestLocalizer AsyncActivation::GetErrorRequestLocalizer() const {
  if (localizer_ != nullptr && !localizer_->empty() && locale_ != nullptr) {
    return L10n::RequestLocalizer(localizer_, locale_);
  }
  return L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
}

}  // namespace Quil::Core
