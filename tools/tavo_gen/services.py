"""The service classes: the abstract interface, the binder and its helper with one builder per
operation, and the stub.

They only name the operations and pass arguments on; checking, conversion and dispatch are the
runtime's (`quil/provider`, `quil/stub`).
"""

from typing import List

from . import cpp_types, naming
from .model import Operation, Service
from .printer import Printer

INTERFACE = naming.INTERFACE
ACTIVATION = "std::shared_ptr<::Quil::Core::AsyncActivation> activation"
LOCALIZER = "std::shared_ptr<::Quil::L10n::Localizer> localizer"
API_INTERFACE = "std::shared_ptr<const ::Quil::Provider::AsyncApiInterface>"

BINDER = f"""\
// Binds an implementation to the framework: the provider interface returned holds one method per
// operation, in the order of the interface. Without a localizer, the binding makes its own.
// Describe gives the same interface with no implementation behind it (every invocation answers
// internal_server_error): the operations' names and definitions, for clients and tools;
// DescribeFacts what those definitions leave out (the enumerations).
struct TAVO_VM_API {naming.BINDER} {{
  static {API_INTERFACE} Describe();
  static ::Quil::Provider::ServiceFacts DescribeFacts();
  static {API_INTERFACE} BindImplementation(
      std::shared_ptr<{INTERFACE}> implementation);
  static {API_INTERFACE} BindImplementation(
      std::shared_ptr<{INTERFACE}> implementation,
      {LOCALIZER});
}};"""

BINDER_HELPER = f"""\
// The parts of a binding: the method object of each operation, made from the method filter that
// the operation's builder puts around a call of the implementation's member function.
struct TAVO_VM_API {naming.BINDER_HELPER} {{
  static {API_INTERFACE} Bind(
      std::shared_ptr<{INTERFACE}> implementation,
      {LOCALIZER});

  template <typename M, typename Filter>
  static std::shared_ptr<::Quil::Provider::AsyncApiMethodSignal> GetApiMethodInstance(
      Filter&& filter, const std::shared_ptr<::Quil::L10n::Localizer>& localizer) {{
    return ::Quil::Provider::GetApiMethodInstance<M>(std::forward<Filter>(filter), localizer);
  }}"""

BUILDER_OPERATOR = f"""\
template <typename Member>
auto operator()(Member member, const std::shared_ptr<{INTERFACE}>& implementation,
                const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const {{"""

STUB_HEAD = f"""\
// The client side of the service: each operation fills the operation's input record and invokes
// it through the framework's API provider held by the API stub.
class TAVO_VM_API {naming.STUB} final : public {INTERFACE} {{
 public:
  explicit {naming.STUB}(std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub);"""

STUB_TAIL = f"""\
  ~{naming.STUB}() override;

 private:
  std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub_;
}};"""

BINDER_DEFINITIONS = f"""\
{API_INTERFACE} {naming.BINDER}::BindImplementation(
    std::shared_ptr<{INTERFACE}> implementation) {{
  return BindImplementation(std::move(implementation), std::make_shared<::Quil::L10n::Localizer>());
}}

{API_INTERFACE} {naming.BINDER}::BindImplementation(
    std::shared_ptr<{INTERFACE}> implementation,
    {LOCALIZER}) {{
  return {naming.BINDER_HELPER}::Bind(std::move(implementation), std::move(localizer));
}}"""

STUB_DEFINITIONS = f"""\
{naming.STUB}::{naming.STUB}(std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub)
    : apiStub_(std::move(apiStub)) {{}}

{naming.STUB}::~{naming.STUB}() = default;"""


def parameters(operation: Operation) -> List[str]:
    """The native operation's parameters: the input record's members in declaration order, then
    the activation, then the result object."""
    return ([cpp_types.parameter(param.type, param.native) for param in operation.params] +
            [ACTIVATION, f"const {naming.method_class(operation)}::ResultCbType& result"])


def interface(p: Printer, service: Service) -> None:
    p.comment(f'The service "{naming.interface_wire_name(service)}", one pure virtual function '
              f"per operation. A server implements it and binds the implementation with "
              f"{naming.BINDER}; a client calls it through {naming.STUB}. Every operation "
              "answers through its result object, once, now or later.")
    with p.block(f"class TAVO_VM_API {INTERFACE}", "};"):
        p.access("public:")
        for operation in service.operations:
            p.wrap(f"virtual void {operation.native}(", (parameters(operation), ") = 0;"))
        p.line(f"virtual ~{INTERFACE}();")


def binder(p: Printer) -> None:
    p.lines(BINDER)


def builder(p: Printer, operation: Operation) -> None:
    """The builder of one operation: its lambda calls the member function with the input
    record's members in declaration order, then the activation, then the result object."""
    method = naming.method_class(operation)
    input_name = "input" if operation.params else "/*input*/"
    lambda_params = [f"const {method}::Input& {input_name}",
                     "const std::shared_ptr<::Quil::Core::AsyncActivation>& activation",
                     f"const {method}::ResultCbType& result"]
    arguments = [f"input.{param.native}" for param in operation.params] + \
        ["activation", "result"]
    with p.block(f"struct {naming.method_builder(operation)}", "};"):
        p.lines(BUILDER_OPERATOR)
        with p.block(end="}"):
            p.line(f"return ::Quil::Provider::MakeMethodFilter<{method}>(")
            with p.continued():
                p.wrap("[member, implementation](", (lambda_params, ") {"))
                with p.indented():
                    p.wrap("((*implementation).*member)(", (arguments, ");"))
                p.line("});")


def binder_helper(p: Printer, service: Service) -> None:
    p.lines(BINDER_HELPER)
    with p.indented():
        for operation in service.operations:
            p.gap()
            builder(p, operation)
    p.line("};")


def stub(p: Printer, service: Service) -> None:
    p.lines(STUB_HEAD)
    with p.indented():
        for operation in service.operations:
            p.wrap(f"void {operation.native}(", (parameters(operation), ") override;"))
    p.lines(STUB_TAIL)


def stub_operation(p: Printer, operation: Operation) -> None:
    method = naming.method_class(operation)
    p.wrap(f"void {naming.STUB}::{operation.native}(", (parameters(operation), ") {"))
    with p.block(end="}"):
        p.line(f"{method}::Input input;")
        for param in operation.params:
            value = f"std::move({param.native})" if cpp_types.passed_by_value(param.type) \
                else param.native
            p.wrap(f"input.{param.native} = ", ([value], ";"))
        p.wrap(f"::Quil::Stub::AsyncMethodInvoker::Invoke<{method}>(",
               (["input", "std::move(activation)", "result", "apiStub_"], ");"))


def bind(p: Printer, service: Service) -> None:
    """The helper's Bind: one method object per operation, each made from the filter its builder
    makes for the interface's member function. A service without operations binds none, so Bind
    leaves its parameters unnamed."""
    used = bool(service.operations)
    implementation, localizer = ("implementation", "localizer") if used else \
        ("/*implementation*/", "/*localizer*/")
    p.wrap(f"{API_INTERFACE} {naming.BINDER_HELPER}::Bind(",
           ([f"std::shared_ptr<{INTERFACE}> {implementation}",
             f"std::shared_ptr<::Quil::L10n::Localizer> {localizer}"], ") {"))
    with p.block(end="}"):
        p.wrap("auto id = ::Quil::Core::InterfaceIdentifier::GetInstance(",
               ([f"::Quil::TypeInfo<{INTERFACE}>::name()"], ");"))
        get_instance = "return ::Quil::Provider::AsyncApiInterface::GetInstance(std::move(id), {"
        if not used:
            p.line(get_instance + "});")
            return
        p.line(get_instance)
        with p.continued():
            for operation in service.operations:
                p.line(f"GetApiMethodInstance<{naming.method_class(operation)}>(")
                with p.continued():
                    p.wrap(f"{naming.method_builder(operation)}{{}}(",
                           ([f"&{INTERFACE}::{operation.native}", "implementation", "localizer"],
                            "),"))
                    p.line("localizer),")
        p.line("});")


def definitions(p: Printer, service: Service) -> None:
    """The interface's destructor, the binder, the helper's Bind and the stub, in the source."""
    p.line(f"{INTERFACE}::~{INTERFACE}() = default;")
    p.gap()
    with p.block(f"{API_INTERFACE} {naming.BINDER}::Describe()"):
        classes = [INTERFACE] + [naming.method_class(op) for op in service.operations]
        p.wrap("return ::Quil::Provider::DescribeInterface<", (classes, ">();"))
    p.gap()
    p.lines(BINDER_DEFINITIONS)
    p.gap()
    bind(p, service)
    p.gap()
    p.lines(STUB_DEFINITIONS)
    for operation in service.operations:
        p.gap()
        stub_operation(p, operation)
