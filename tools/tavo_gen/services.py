"""The service classes: the abstract interface, the binder and its helper with one builder per
operation, and the stub.

They only name the operations and pass arguments on; checking, conversion and dispatch are the
runtime's (`quil/provider`, `quil/stub`).
"""

from typing import List

from . import cpp_types, naming, writer
from .model import Operation, Service

ACTIVATION = "std::shared_ptr<::Quil::Core::AsyncActivation> activation"
ACTIVATION_REFERENCE = "const std::shared_ptr<::Quil::Core::AsyncActivation>& activation"
LOCALIZER = "std::shared_ptr<::Quil::L10n::Localizer> localizer"
API_INTERFACE = "std::shared_ptr<const ::Quil::Provider::AsyncApiInterface>"

INTERFACE = """\
$comment
class TAVO_VM_API $name {
 public:
  $operations
  virtual ~$name();
};"""

BINDER = """\
// Binds an implementation to the framework: the provider interface returned holds one method per
// operation, in the order of the interface. Without a localizer, the binding makes its own.
// Describe gives the same interface with no implementation behind it (every invocation answers
// internal_server_error): the operations' names and definitions, for clients and tools;
// DescribeFacts what those definitions leave out (the enumerations).
struct TAVO_VM_API $name {
  static $api_interface Describe();
  static ::Quil::Provider::ServiceFacts DescribeFacts();
  static $api_interface BindImplementation(
      std::shared_ptr<$interface> implementation);
  static $api_interface BindImplementation(
      std::shared_ptr<$interface> implementation,
      $localizer);
};"""

BINDER_HELPER = """\
// The parts of a binding: the method object of each operation, made from the method filter that
// the operation's builder puts around a call of the implementation's member function.
struct TAVO_VM_API $name {
  static $api_interface Bind(
      std::shared_ptr<$interface> implementation,
      $localizer);

  template <typename M, typename Filter>
  static std::shared_ptr<::Quil::Provider::AsyncApiMethodSignal> GetApiMethodInstance(
      Filter&& filter, const std::shared_ptr<::Quil::L10n::Localizer>& localizer) {
    return ::Quil::Provider::GetApiMethodInstance<M>(std::forward<Filter>(filter), localizer);
  }
  $builders
};"""

BUILDER = """\

struct $name {
  template <typename Member>
  auto operator()(Member member, const std::shared_ptr<$interface>& implementation,
                  const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const {
    return ::Quil::Provider::MakeMethodFilter<$method>(
        $filter_lambda
          $call
        });
  }
};"""

STUB = """\
// The client side of the service: each operation fills the operation's input record and invokes
// it through the framework's API provider held by the API stub.
class TAVO_VM_API $name final : public $interface {
 public:
  explicit $name(std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub);
  $operations
  ~$name() override;

 private:
  std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub_;
};"""

BINDER_DEFINITIONS = """\
$interface::~$interface() = default;

$api_interface $binder::Describe() {
  return $describe;
}

$api_interface $binder::BindImplementation(
    std::shared_ptr<$interface> implementation) {
  return BindImplementation(std::move(implementation), std::make_shared<::Quil::L10n::Localizer>());
}

$api_interface $binder::BindImplementation(
    std::shared_ptr<$interface> implementation,
    $localizer) {
  return $helper::Bind(std::move(implementation), std::move(localizer));
}

$api_interface $helper::Bind(
    std::shared_ptr<$interface> $implementation,
    std::shared_ptr<::Quil::L10n::Localizer> $localizer_name) {
  auto id = ::Quil::Core::InterfaceIdentifier::GetInstance(
      ::Quil::TypeInfo<$interface>::name());
  $bind
}

$stub::$stub(std::shared_ptr<::Quil::Stub::AsyncApiStub> apiStub)
    : apiStub_(std::move(apiStub)) {}

$stub::~$stub() = default;"""

STUB_OPERATION = """\
$signature
  $method::Input input;
  $fill
  $invoke
}"""

# Columns of the parts of Bind's method list.
LIST_INDENT = 6


def parameters(operation: Operation) -> List[str]:
    """The native operation's parameters: the input record's members in declaration order, then
    the activation, then the result object."""
    return ([cpp_types.parameter(param.type, param.native) for param in operation.params] +
            [ACTIVATION, f"const {naming.method_class(operation)}::ResultCbType& result"])


def interface(service: Service) -> str:
    operations = []
    for operation in service.operations:
        operations += writer.call(2, operation.native, parameters(operation), ") = 0;",
                                  prefix="virtual void ")
    comment = (f'The service "{naming.interface_wire_name(service)}", one pure virtual function '
               f"per operation. A server implements it and binds the implementation with "
               f"{naming.BINDER}; a client calls it through {naming.STUB}. Every operation "
               "answers through its result object, once, now or later.")
    return writer.fill(INTERFACE, comment=writer.comment(0, comment), name=naming.INTERFACE,
                       operations=[line[2:] for line in operations])


def binder() -> str:
    return writer.fill(BINDER, name=naming.BINDER, interface=naming.INTERFACE,
                       api_interface=API_INTERFACE, localizer=LOCALIZER)


def builder(operation: Operation) -> str:
    """The builder of one operation: its lambda calls the member function with the input
    record's members in declaration order, then the activation, then the result object."""
    method = naming.method_class(operation)
    input_name = "input" if operation.params else "/*input*/"
    lambda_params = [f"const {method}::Input& {input_name}", ACTIVATION_REFERENCE,
                     f"const {method}::ResultCbType& result"]
    # The builder stands two columns deep in the helper: the lambda at 10, its body at 12.
    lambda_lines = writer.call(10, "[member, implementation]", lambda_params, ") {")
    arguments = [f"input.{param.native}" for param in operation.params] + \
        ["activation", "result"]
    call_lines = writer.call(12, "((*implementation).*member)", arguments)
    return writer.fill(BUILDER, name=naming.method_builder(operation),
                       interface=naming.INTERFACE, method=method,
                       filter_lambda=[line[10:] for line in lambda_lines],
                       call=[line[12:] for line in call_lines])


def binder_helper(service: Service) -> str:
    builders = "\n".join(builder(operation) for operation in service.operations)
    return writer.fill(BINDER_HELPER, name=naming.BINDER_HELPER, interface=naming.INTERFACE,
                       api_interface=API_INTERFACE, localizer=LOCALIZER, builders=builders)


def stub(service: Service) -> str:
    operations = []
    for operation in service.operations:
        operations += writer.call(2, operation.native, parameters(operation), ") override;",
                                  prefix="void ")
    return writer.fill(STUB, name=naming.STUB, interface=naming.INTERFACE,
                       operations=[line[2:] for line in operations])


def method_instance(operation: Operation, first: bool, last: bool) -> List[str]:
    """One element of Bind's method list: the method object of the operation, made from the
    filter its builder makes for the interface's member function."""
    indent = LIST_INDENT + 1
    # The format continues a list's only element from the brace, and the others from themselves.
    inner = (LIST_INDENT if first and last else indent) + writer.CONTINUATION
    tail = ")});" if last else "),"
    builder_head = f"{naming.method_builder(operation)}{{}}"
    builder_args = [f"&{naming.INTERFACE}::{operation.native}", "implementation", "localizer"]
    builder_call = f"{builder_head}({', '.join(builder_args)})"
    head = f"GetApiMethodInstance<{naming.method_class(operation)}>"
    opening = f"{' ' * indent}{head}("
    lines = writer.call(indent, head, [builder_call, "localizer"], tail)
    if len(lines) > 1:
        lines = [opening] + writer.pack(inner, [builder_call, "localizer"], tail)
    if not all(writer.fits(line) for line in lines):
        lines = [opening] + writer.call(inner, builder_head, builder_args, "),")
        lines.append(f"{' ' * inner}localizer{tail}")
    if first:
        lines[0] = " " * LIST_INDENT + "{" + lines[0][indent:]
    return lines


def bind_statement(service: Service) -> List[str]:
    """Bind's return statement, relative to the function body."""
    get_instance = "return ::Quil::Provider::AsyncApiInterface::GetInstance("
    operations = service.operations
    if not operations:
        return [f"{get_instance}std::move(id), {{}});"]
    elements = []
    for position, operation in enumerate(operations):
        elements += method_instance(operation, position == 0, position == len(operations) - 1)
    return [get_instance, " " * (LIST_INDENT - 2) + "std::move(id),"] + \
        [line[2:] for line in elements]


def stub_operation(operation: Operation) -> str:
    method = naming.method_class(operation)
    signature = writer.call(0, f"{naming.STUB}::{operation.native}", parameters(operation),
                            ") {", prefix="void ")
    fill = []
    for param in operation.params:
        value = f"std::move({param.native})" if cpp_types.passed_by_value(param.type) \
            else param.native
        fill += writer.assignment(2, f"input.{param.native}", value)
    invoke = writer.call(2, f"::Quil::Stub::AsyncMethodInvoker::Invoke<{method}>",
                         ["input", "std::move(activation)", "result", "apiStub_"])
    return writer.fill(STUB_OPERATION, signature=signature, method=method,
                       fill=[line[2:] for line in fill], invoke=[line[2:] for line in invoke])


def describe_call(service: Service) -> str:
    """The Describe body's expression: on one line when it fits, else one class per line."""
    classes = [naming.INTERFACE] + [naming.method_class(op) for op in service.operations]
    call = f"::Quil::Provider::DescribeInterface<{', '.join(classes)}>()"
    if len("  return ;") + len(call) <= writer.COLUMN_LIMIT:
        return call
    listed = ",\n".join(" " * LIST_INDENT + name for name in classes)
    return f"::Quil::Provider::DescribeInterface<\n{listed}>()"


def definitions(service: Service) -> str:
    """The interface's destructor, the binder, the helper's Bind and the stub, in the source.
    A service without operations binds none, so Bind leaves its parameters unnamed."""
    used = bool(service.operations)
    text = writer.fill(BINDER_DEFINITIONS, interface=naming.INTERFACE, binder=naming.BINDER,
                       helper=naming.BINDER_HELPER, stub=naming.STUB,
                       api_interface=API_INTERFACE, localizer=LOCALIZER,
                       implementation="implementation" if used else "/*implementation*/",
                       localizer_name="localizer" if used else "/*localizer*/",
                       bind=bind_statement(service), describe=describe_call(service))
    return "\n\n".join([text] + [stub_operation(operation) for operation in service.operations])
