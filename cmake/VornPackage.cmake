# The Debian package of the whole toolchain, made by CPack's DEB generator ("make package").
# The version is the project's one version number; Depends is computed by dpkg-shlibdeps
# from the tools' shared libraries (none, for tools linked statically).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The VORN developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compiler and tools for the VORN event-script language")
# Debian wants the long description's lines within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "VORN compiles a small line-oriented event-script language into compact\n"
    "bytecode files for a separate runtime. This package holds the compiler\n"
    "(vorn), the disassembler (vorn-dis), a checker for editors and build systems\n"
    "(vorn-check), a lister that shows the code of every line (vorn-list), a\n"
    "formatter that never changes what a script means (vorn-fmt), the\n"
    "language server for editors (vorn-lsp), their manual pages, file types,\n"
    "syntax colouring and the language-server set-up for Vim and Neovim, an Emacs\n"
    "major mode (vorn-mode, with eglot's server entry), and CMake support for\n"
    "building many scripts (find_package(Vorn) and vorn_add_scripts).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(VORN_PACKAGE_MAINTAINER "VORN maintainers <maintainers@users.noreply.c-seed-048cc508.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VORN_PACKAGE_MAINTAINER}")

# A package without a changelog is an error to lintian: one entry for this version, dated
# when the build was configured (or at SOURCE_DATE_EPOCH, for a reproducible package).
string(TIMESTAMP VORN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in "${PROJECT_BINARY_DIR}/packaging/changelog" @ONLY)
add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/packaging/changelog.gz"
                   COMMAND "${VORN_GZIP}" -9nkf "${PROJECT_BINARY_DIR}/packaging/changelog"
                   DEPENDS "${PROJECT_BINARY_DIR}/packaging/changelog"
                   VERBATIM)
add_custom_target(vorn_changelog ALL DEPENDS "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
install(FILES "${PROJECT_BINARY_DIR}/packaging/changelog.gz" DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The tools are linked statically on purpose (see src/CMakeLists.txt).
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vorn)
include(CPack)
