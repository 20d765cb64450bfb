// The provider side of the framework: a method that the framework invokes with a dynamic input
// and answers through a result callback, and the provider interface that lists the methods of
// one interface.
//
//   auto id = Quil::Core::InterfaceIdentifier::GetInstance("com.example.power");
//   auto api = Quil::Provider::AsyncApiInterface::GetInstance(id, {getMethod, resetMethod});
//   api->FindMethod("reset")->Invoke(input, activation, callback);
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/detail/inline_function.h>
#include <quil/export.h>
#include <quil/types.h>

namespace Quil::Provider {

class QUIL_CORE_API AsyncApiMethod {
 public:
  using ErrorDefinitions = std::vector<Data::DataDefinitionPtr>;

  // The result callback a method hands to whatever implements it: progress reports (neither
  // output nor error) and one final answer (an output, an error, or both, which the receiver
  // treats as an error).
  //
  // One-shot like Core::AsyncApiResultCb: a call carrying an output or an error first moves the
  // stored function out, leaving the callback empty, and then calls it; calling an empty
  // callback raises std::bad_function_call. Progress reports call the function in place. The
  // call operator is const because handlers receive the callback by constant reference.
  class QUIL_CORE_API ResultCb {
   public:
    // Given the callback for the next output of a stream (null when the stream ends).
    using Continuation = std::function<void(std::shared_ptr<ResultCb>)>;
    // Room in place for what the bindings keep in it: the method object's checking wrapper, which
    // holds a pointer, a shared pointer and the framework's callback.
    static constexpr std::size_t kInPlaceBytes =
        sizeof(void*) + sizeof(std::shared_ptr<const void>) + sizeof(Core::AsyncApiResultCb);
    // (output, null when there is none; error; progress; continuation)
    using Function = Detail::InlineFunction<
        void(Data::DataValuePtr, Data::ErrorValuePtr, Progress, Continuation&&), kInPlaceBytes>;

    ResultCb() = default;
    // Any callable of the signature of Function, kept in place when it fits.
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, ResultCb>>>
    explicit ResultCb(F&& function) : function_(std::forward<F>(function)) {}

    void operator()(Data::DataValuePtr output, Data::ErrorValuePtr error, const Progress& progress,
                    Continuation&& continuation) const;

    explicit operator bool() const { return static_cast<bool>(function_); }

    void swap(ResultCb& other) noexcept { function_.swap(other.function_); }
    friend void swap(ResultCb& a, ResultCb& b) noexcept { a.swap(b); }

   private:
    mutable Function function_;
  };

  virtual const std::string& methodName() const = 0;
  // A new method definition for this method on the given interface.
  virtual std::shared_ptr<Core::MethodDefinition> definition(
      const std::shared_ptr<const Core::InterfaceIdentifier>& interfaceId) const = 0;
  virtual Data::DataDefinitionPtr inputDefinition() const = 0;
  virtual Data::DataDefinitionPtr outputDefinition() const = 0;
  // A copy of the list; the definitions themselves are shared.
  virtual ErrorDefinitions errorDefinitions() = 0;
  virtual const ErrorDefinitions& errorDefinitions() const = 0;
  // Every answer, also a rejection of the input, goes through `callback`.
  virtual void Invoke(Data::DataValuePtr input, std::shared_ptr<Core::AsyncActivation> activation,
                      const Core::AsyncApiResultCb& callback) const = 0;
  virtual ~AsyncApiMethod();

 protected:
  AsyncApiMethod() = default;
  AsyncApiMethod(const AsyncApiMethod&) = default;
  AsyncApiMethod& operator=(const AsyncApiMethod&) = default;
};

// The methods of one interface, in the order they were bound.
class QUIL_CORE_API AsyncApiInterface {
 public:
  using MethodList = std::vector<std::shared_ptr<const AsyncApiMethod>>;

  static std::shared_ptr<AsyncApiInterface> GetInstance(
      std::shared_ptr<const Core::InterfaceIdentifier> identifier, MethodList methods);

  AsyncApiInterface(std::shared_ptr<const Core::InterfaceIdentifier> identifier, MethodList methods)
      : identifier_(std::move(identifier)), methods_(std::move(methods)) {}

  const std::shared_ptr<const Core::InterfaceIdentifier>& GetIdentifier() const {
    return identifier_;
  }
  const MethodList& GetMethods() const { return methods_; }
  // The first method of that name, or null.
  std::shared_ptr<const AsyncApiMethod> FindMethod(std::string_view name) const;

 private:
  std::shared_ptr<const Core::InterfaceIdentifier> identifier_;
  MethodList methods_;
};

}  // namespace Quil::Provider
