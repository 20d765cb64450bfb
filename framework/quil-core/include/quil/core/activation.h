// The per-call record that travels with an invocation: the localizer of the binding that serves
// it, the locale the caller asked for, and the caller's execution context.
//
// Copying an activation gives the copy its own execution context (changing one's maps never shows
// in the other) and shares the localizer and the locale, which are treated as read-only.
//
//   auto activation = std::make_shared<Quil::Core::AsyncActivation>();
//   activation->GetExecutionContext().applicationData["request"] = "42";
//   auto localizer = activation->GetErrorRequestLocalizer();  // the defaults: nothing set yet
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include <quil/export.h>
#include <quil/l10n/localizer.h>

namespace Quil::Core {

// Text maps a caller passes along with its calls.
struct ExecutionContext {
  using TextMap = std::map<std::string, std::string>;

  TextMap applicationData;
  TextMap securityContext;

  friend bool operator==(const ExecutionContext& a, const ExecutionContext& b) {
    return a.applicationData == b.applicationData && a.securityContext == b.securityContext;
  }
  friend bool operator!=(const ExecutionContext& a, const ExecutionContext& b) { return !(a == b); }
};

class QUIL_CORE_API AsyncActivation {
 public:
  AsyncActivation() = default;
  AsyncActivation(std::shared_ptr<L10n::Localizer> localizer,
                  std::shared_ptr<const L10n::LocaleSpec> locale, ExecutionContext context = {})
      : localizer_(std::move(localizer)),
        locale_(std::move(locale)),
        context_(std::move(context)) {}

  // The provider side replaces the localizer on every invocation it serves.
  const std::shared_ptr<L10n::Localizer>& GetLocalizer() const { return localizer_; }
  void SetLocalizer(std::shared_ptr<L10n::Localizer> localizer) {
    localizer_ = std::move(localizer);
  }

  const std::shared_ptr<const L10n::LocaleSpec>& GetLocale() const { return locale_; }
  void SetLocale(std::shared_ptr<const L10n::LocaleSpec> locale) { locale_ = std::move(locale); }

  ExecutionContext& GetExecutionContext() { return context_; }
  const ExecutionContext& GetExecutionContext() const { return context_; }

  // The localizer for the errors of this call: the activation's localizer and locale when the
  // localizer holds templates and a locale is set, else the default request localizer.
  L10n::RequestLocalizer GetErrorRequestLocalizer() const;

 private:
  std::shared_ptr<L10n::Localizer> localizer_;
  std::shared_ptr<const L10n::LocaleSpec> locale_;
  ExecutionContext context_;  // held by value: a copy owns its maps
};

}  // namespace Quil::Core
