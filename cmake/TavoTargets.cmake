# Common settings for every target of the project.

add_library(tavo_warnings INTERFACE)
target_compile_options(tavo_warnings INTERFACE -Wall -Wextra -Wpedantic
  $<$<BOOL:${TAVO_WERROR}>:-Werror>)

add_library(tavo_sanitizers INTERFACE)
if(TAVO_SANITIZE STREQUAL "address_undefined")
  target_compile_options(tavo_sanitizers INTERFACE -fsanitize=address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tavo_sanitizers INTERFACE -fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Clang links its static runtime into executables only, which leaves the shared libraries
    # (linked with --no-undefined) without one; the shared runtime serves both, as with GCC. It
    # lives beside the compiler, so executables carry its directory.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                    OUTPUT_VARIABLE tavo_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(tavo_asan_runtime_dir "${tavo_asan_runtime}" DIRECTORY)
    target_link_options(tavo_sanitizers INTERFACE -shared-libasan
                        "LINKER:-rpath,${tavo_asan_runtime_dir}")
  endif()
  if(TAVO_BUILD_FUZZ)
    # Coverage feedback from the libraries, not only from the fuzz targets.
    target_compile_options(tavo_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
  endif()
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
