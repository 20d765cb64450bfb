# Common settings for every target of the project.

add_library(tavo_warnings INTERFACE)
target_compile_options(tavo_warnings INTERFACE -Wall -Wextra -Wpedantic
  $<$<BOOL:${TAVO_WERROR}>:-Werror>)

add_library(tavo_sanitizers INTERFACE)
if(TAVO_SANITIZE STREQUAL "address_undefined")
  target_compile_options(tavo_sanitizers INTERFACE -fsanitize=address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tavo_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(TAVO_SANITIZE STREQUAL "thread")
  target_compile_options(tavo_sanitizers INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(tavo_sanitizers INTERFACE -fsanitize=thread)
elseif(NOT TAVO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TAVO_SANITIZE must be empty, address_undefined or thread")
endif()

# tavo_add_shared_library(<target> OUTPUT <name> SOVERSION <n>)
# A shared library with hidden visibility, a version, a SONAME and the project's warnings.
function(tavo_add_shared_library target)
  cmake_parse_arguments(ARG "" "OUTPUT;SOVERSION" "" ${ARGN})
  add_library(${target} SHARED)
  add_library(TavoVm::${target} ALIAS ${target})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${ARG_SOVERSION}
    EXPORT_NAME ${target})
  target_compile_features(${target} PUBLIC cxx_std_17)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:tavo_warnings> $<BUILD_INTERFACE:tavo_sanitizers>)
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()

# tavo_public_headers(<target> <base-dir>): every header below <base-dir> is public and installed.
function(tavo_public_headers target base)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${base}/*.h")
  target_sources(${target} PUBLIC FILE_SET HEADERS BASE_DIRS "${base}" FILES ${headers})
endfunction()
