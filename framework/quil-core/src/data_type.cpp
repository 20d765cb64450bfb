#include <quil/data/data_type.h>

namespace Quil::Data {

const char* DataType::Name() const {
  switch (type_) {
    case VOID:
      return "void";
    case INTEGER:
      return "integer";
    case DOUBLE:
      return "double";
    case BOOLEAN:
      return "boolean";
    case STRING:
      return "string";
    case ERROR:
      return "error";
    case OPTIONAL:
      return "optional";
    case LIST:
      return "list";
    case STRUCT_REF:
      return "structure reference";
    case BLOB:
      return "blob";
    case SECRET:
      return "secret";
    case UNION_CASE:
      return "union case";
    case STRUCTURE:
      return "structure";
  }
  return "unknown";  // a code from a newer peer
}

}  // namespace Quil::Data
