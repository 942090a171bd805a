# vorn_add_scripts: compile VORN scripts as part of a CMake build.
#
#   vorn_add_scripts(TARGET <name> DIRECTORY <dir> SCRIPTS <a.vs> [<b.vs> ...]
#                    [OUTPUT_DIRECTORY <out>] [ALL])
#
# Compiles each script of <dir> (a path relative to it: "a.vs", "rooms/b.vs") with
# vorn-check, in <dir>: the lists events.lst and command.lst are read there, and include
# paths are taken from there, as vorn does when run in that folder. Each script becomes
# <out>/<script without .vs>.bin (<out> defaults to ${CMAKE_CURRENT_BINARY_DIR}/<name>),
# and the custom target <name> builds them all (as part of "all" with ALL). Its property
# VORN_OUTPUTS lists the compiled files.
#
# Each compile writes a dependency file naming every file it read, so that an edited include
# or list rebuilds exactly the scripts that use it. vorn-check writes its paths relative to
# the folder it ran in, while CMake 3.25 takes relative paths in a DEPFILE as relative to the
# binary folder (Ninja, policy CMP0116) or the top build folder (Makefiles): the relative
# paths are made absolute with sed after a successful compile, and both generators read them.
#
# A script with errors fails the build with vorn-check's status (10 for counted errors) and
# leaves its earlier compiled file as it was.

include_guard(GLOBAL)

# The dependency file's relative paths become absolute: a dependency line " path \" and a
# phony rule "path:" get the folder in front, written as make reads it.
function(_vorn_sed_prefix out dir)
  set(prefix "${dir}/")
  # As make reads a path: '$' doubled, blanks and '#' after a backslash.
  string(REPLACE "$" "$$" prefix "${prefix}")
  string(REPLACE " " "\\ " prefix "${prefix}")
  string(REPLACE "#" "\\#" prefix "${prefix}")
  # As a sed replacement between '|': backslash, '&' and '|' after a backslash.
  string(REPLACE "\\" "\\\\" prefix "${prefix}")
  string(REPLACE "&" "\\&" prefix "${prefix}")
  string(REPLACE "|" "\\|" prefix "${prefix}")
  set(${out} "${prefix}" PARENT_SCOPE)
endfunction()

function(vorn_add_scripts)
  cmake_parse_arguments(PARSE_ARGV 0 VORN "ALL" "TARGET;DIRECTORY;OUTPUT_DIRECTORY" "SCRIPTS")
  if(NOT VORN_TARGET)
    message(FATAL_ERROR "vorn_add_scripts: TARGET <name> is required")
  endif()
  if(NOT VORN_DIRECTORY)
    message(FATAL_ERROR "vorn_add_scripts: DIRECTORY <dir> is required")
  endif()
  if(NOT VORN_SCRIPTS)
    message(FATAL_ERROR "vorn_add_scripts: SCRIPTS needs at least one script")
  endif()
  if(VORN_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vorn_add_scripts: unknown arguments: ${VORN_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET Vorn::vorn-check)
    message(FATAL_ERROR "vorn_add_scripts: the target Vorn::vorn-check is missing; "
                        "use find_package(Vorn)")
  endif()
  find_program(VORN_SED sed REQUIRED)
  mark_as_advanced(VORN_SED)

  get_filename_component(dir "${VORN_DIRECTORY}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(VORN_OUTPUT_DIRECTORY)
    get_filename_component(out_dir "${VORN_OUTPUT_DIRECTORY}" ABSOLUTE
                           BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/${VORN_TARGET}")
  endif()
  _vorn_sed_prefix(prefix "${dir}")

  set(outputs)
  foreach(script IN LISTS VORN_SCRIPTS)
    if(IS_ABSOLUTE "${script}")
      message(FATAL_ERROR "vorn_add_scripts: ${script}: give scripts relative to ${dir}")
    endif()
    string(REGEX REPLACE "\\.vs$" "" stem "${script}")
    set(output "${out_dir}/${stem}.bin")
    set(depfile "${out_dir}/${stem}.d")
    get_filename_component(output_folder "${output}" DIRECTORY)
    file(MAKE_DIRECTORY "${output_folder}")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND Vorn::vorn-check -o "${output}" --deps "${depfile}" --deps-phony "${script}"
      COMMAND "${VORN_SED}" -i -e "s|^ \\([^/]\\)| ${prefix}\\1|"
              -e "s|^\\([^/ ].*:\\)$|${prefix}\\1|" "${depfile}"
      DEPENDS "${dir}/${script}" "${dir}/events.lst" "${dir}/command.lst" Vorn::vorn-check
      DEPFILE "${depfile}"
      WORKING_DIRECTORY "${dir}"
      COMMENT "Compiling VORN script ${script}"
      VERBATIM)
    list(APPEND outputs "${output}")
  endforeach()

  if(VORN_ALL)
    add_custom_target(${VORN_TARGET} ALL DEPENDS ${outputs})
  else()
    add_custom_target(${VORN_TARGET} DEPENDS ${outputs})
  endif()
  set_property(TARGET ${VORN_TARGET} PROPERTY VORN_OUTPUTS "${outputs}")
endfunction()
