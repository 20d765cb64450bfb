// The wire names of the framework's standard errors: "com.korvan.quil.std.errors." followed by the
// error in lower case with underscores. Every piece of C++ that names a standard error names it
// through these constants.
//
// The first eleven are the errors an operation may declare (the standard bindings give each a
// native type, see quil/std/errors.h); the last two are raised only by the framework and the
// bindings themselves.
#pragma once

#include <string_view>

namespace Quil::ErrorNames {

inline constexpr std::string_view kError = "com.korvan.quil.std.errors.error";
inline constexpr std::string_view kNotFound = "com.korvan.quil.std.errors.not_found";
inline constexpr std::string_view kInvalidArgument = "com.korvan.quil.std.errors.invalid_argument";
inline constexpr std::string_view kNotAllowedInCurrentState =
    "com.korvan.quil.std.errors.not_allowed_in_current_state";
inline constexpr std::string_view kResourceBusy = "com.korvan.quil.std.errors.resource_busy";
inline constexpr std::string_view kResourceInaccessible =
    "com.korvan.quil.std.errors.resource_inaccessible";
inline constexpr std::string_view kServiceUnavailable =
    "com.korvan.quil.std.errors.service_unavailable";
inline constexpr std::string_view kUnauthenticated = "com.korvan.quil.std.errors.unauthenticated";
inline constexpr std::string_view kUnauthorized = "com.korvan.quil.std.errors.unauthorized";
inline constexpr std::string_view kAlreadyExists = "com.korvan.quil.std.errors.already_exists";
inline constexpr std::string_view kUnableToAllocateResource =
    "com.korvan.quil.std.errors.unable_to_allocate_resource";

inline constexpr std::string_view kInternalServerError =
    "com.korvan.quil.std.errors.internal_server_error";
inline constexpr std::string_view kOperationNotFound =
    "com.korvan.quil.std.errors.operation_not_found";

}  // namespace Quil::ErrorNames
