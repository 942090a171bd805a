# What "make install" and the Debian package hold: every tool, its manual page compressed,
# the CMake package files, the editor files and the documentation.
#
# The tools are found by name, not listed: every executable target called vorn or
# vorn-<name>, in whichever folder it is defined, is installed and exported as Vorn::<name>.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Executable targets named vorn or vorn-<name> in dir and the folders below it.
function(_vorn_find_tools dir out)
  set(found)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" AND target MATCHES "^vorn(-[a-z]+)?$")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    _vorn_find_tools("${subdirectory}" below)
    list(APPEND found ${below})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

_vorn_find_tools("${PROJECT_SOURCE_DIR}" VORN_TOOLS)
list(SORT VORN_TOOLS)
message(STATUS "Tools to install: ${VORN_TOOLS}")

install(TARGETS ${VORN_TOOLS} EXPORT VornTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages go in compressed, as Debian wants them: gzip -9, without a name or a time
# in the header, so that the same page always gives the same bytes.
find_program(VORN_GZIP gzip REQUIRED)
mark_as_advanced(VORN_GZIP)
file(GLOB VORN_MAN_PAGES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/doc/*.1")
set(compressed_pages)
foreach(page IN LISTS VORN_MAN_PAGES)
  get_filename_component(name "${page}" NAME)
  set(copy "${PROJECT_BINARY_DIR}/man/${name}")
  add_custom_command(OUTPUT "${copy}.gz"
                     COMMAND ${CMAKE_COMMAND} -E copy "${page}" "${copy}"
                     COMMAND "${VORN_GZIP}" -9nf "${copy}"
                     DEPENDS "${page}"
                     COMMENT "Compressing manual page ${name}"
                     VERBATIM)
  list(APPEND compressed_pages "${copy}.gz")
endforeach()
add_custom_target(vorn_man_pages ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# find_package(Vorn): the imported tools, vorn_add_scripts() and the version.
set(VORN_CMAKE_DIR ${CMAKE_INSTALL_DATADIR}/cmake/Vorn)
install(EXPORT VornTargets NAMESPACE Vorn:: DESTINATION ${VORN_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/VornConfigVersion.cmake"
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion
                                 ARCH_INDEPENDENT)
install(FILES "${PROJECT_SOURCE_DIR}/cmake/VornConfig.cmake"
              "${PROJECT_SOURCE_DIR}/cmake/VornScripts.cmake"
              "${PROJECT_BINARY_DIR}/VornConfigVersion.cmake"
        DESTINATION ${VORN_CMAKE_DIR})

# Syntax files for Vim and Neovim, where the tree has them: Debian's Vim reads
# /usr/share/vim/vimfiles, Neovim /usr/share/nvim/site.
if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/editors/vim")
  foreach(destination vim/vimfiles nvim/site)
    install(DIRECTORY "${PROJECT_SOURCE_DIR}/editors/vim/"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/${destination}
            PATTERN "README*" EXCLUDE)
  endforeach()
endif()

# The Emacs modes for scripts and lists, with vorn-lsp's entry for eglot: Debian's Emacs
# has /usr/share/emacs/site-lisp on its load path.
if(EXISTS "${PROJECT_SOURCE_DIR}/editors/emacs/vorn-mode.el")
  install(FILES "${PROJECT_SOURCE_DIR}/editors/emacs/vorn-mode.el"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/emacs/site-lisp)
endif()

# The documentation: the README and the copyright file in Debian's format.
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/packaging/copyright"
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
