# Generated code: every service description (.svc) becomes one header and one source.
#
# tavo_generate_service(<target> <description> [TEST])
#   Generates the service's C++ into ${PROJECT_BINARY_DIR}/generated (tavo/<path>/<service>.h and
#   .cpp, the path following the description's package), compiles the source into <target> and
#   puts the generated tree on <target>'s include path, for the target's users too. The step reruns
#   when the description or any file of the generator changes. TEST marks a description used by
#   tests only: its tree is on the target's own include path alone, and it is never installed.
#
# The output paths come from the description itself, read once at configure time; a faulty
# description therefore stops the configuration with the generator's `file:line: error:` text.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TAVO_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
get_filename_component(TAVO_TOOLS_DIR ${CMAKE_CURRENT_LIST_DIR}/../tools ABSOLUTE)
set(TAVO_GENERATOR ${TAVO_TOOLS_DIR}/generate.py)
file(GLOB_RECURSE TAVO_GENERATOR_FILES CONFIGURE_DEPENDS
  ${TAVO_GENERATOR} ${TAVO_TOOLS_DIR}/tavo_gen/*.py)

function(tavo_generate_service target description)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "TEST" "" "")
  get_filename_component(description ${description} ABSOLUTE)

  # Bytecode caches stay out of the source tree (-B).
  execute_process(
    COMMAND ${Python3_EXECUTABLE} -B ${TAVO_GENERATOR} --list-outputs ${description}
    OUTPUT_VARIABLE outputs
    ERROR_VARIABLE fault
    RESULT_VARIABLE status
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${fault}")
  endif()
  # A new package or service name moves the outputs: configure again when the description changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${description})
  string(REPLACE "\n" ";" outputs "${outputs}")
  list(TRANSFORM outputs PREPEND ${TAVO_GENERATED_DIR}/)
  list(GET outputs 0 header)
  list(GET outputs 1 source)

  # One rule per description, driven by a target of its own so that a target of any directory
  # can compile the output.
  file(RELATIVE_PATH stem ${TAVO_GENERATED_DIR} ${header})
  string(MAKE_C_IDENTIFIER "generate_${stem}" driver)
  if(NOT TARGET ${driver})
    file(RELATIVE_PATH shown ${CMAKE_SOURCE_DIR} ${description})
    add_custom_command(
      OUTPUT ${header} ${source}
      COMMAND ${Python3_EXECUTABLE} -B ${TAVO_GENERATOR} --output-dir ${TAVO_GENERATED_DIR}
              ${description}
      DEPENDS ${description} ${TAVO_GENERATOR_FILES}
      COMMENT "Generating C++ from ${shown}"
      VERBATIM)
    add_custom_target(${driver} DEPENDS ${header} ${source})
  endif()
  add_dependencies(${target} ${driver})

  target_sources(${target} PRIVATE ${source})
  if(ARG_TEST)
    target_sources(${target} PRIVATE ${header})
    target_include_directories(${target} PRIVATE ${TAVO_GENERATED_DIR})
  else()
    # Installed with the library's headers (file set "generated").
    target_sources(${target} PUBLIC FILE_SET generated TYPE HEADERS BASE_DIRS ${TAVO_GENERATED_DIR}
                   FILES ${header})
  endif()
endfunction()
