# find_package(Vorn) for an installed VORN toolchain: the tools as imported targets
# (Vorn::vorn, Vorn::vorn-dis, Vorn::vorn-check, Vorn::vorn-list, and any other tool that
# was installed with them) and vorn_add_scripts() from VornScripts.cmake.
include("${CMAKE_CURRENT_LIST_DIR}/VornTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/VornScripts.cmake")
