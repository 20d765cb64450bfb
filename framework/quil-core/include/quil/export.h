// Export macros of the project's shared libraries. Every library is built with hidden visibility;
// a declaration marked with its library's macro is part of that library's public ABI.
#pragma once

#define QUIL_VISIBLE __attribute__((visibility("default")))
// The private parts of an exported class that only its own library calls.
#define QUIL_HIDDEN __attribute__((visibility("hidden")))

// libquil-core: values, definitions, provider types, localisation, messages and the formatter.
#define QUIL_CORE_API QUIL_VISIBLE
// libquil-std-bindings: the standard errors.
#define QUIL_STD_API QUIL_VISIBLE
// libinternal-tavo-vm-api: the bindings and the API catalogue.
#define TAVO_VM_API QUIL_VISIBLE
// libquil-remote: the JSON mapping and the JSON-RPC transport over HTTP.
#define QUIL_REMOTE_API QUIL_VISIBLE
