#include <quil/type_info.h>

namespace Quil {

std::string TypeInfo<OperationInput>::name() { return "com.korvan.quil.operation_input"; }

}  // namespace Quil
