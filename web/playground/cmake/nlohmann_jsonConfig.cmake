# nlohmann-json for the playground's build (find_package finds this file through
# nlohmann_json_DIR): Debian's header-only library used as it is, through a folder that holds
# nothing else, for the rest of /usr/include is not for WebAssembly.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(VORN_JSON_INCLUDE /usr/include CACHE PATH "The folder that holds nlohmann/json.hpp")
  if(NOT EXISTS ${VORN_JSON_INCLUDE}/nlohmann/json.hpp)
    set(nlohmann_json_FOUND FALSE)
    return()
  endif()
  set(_vorn_web_include ${CMAKE_BINARY_DIR}/web-include)
  file(MAKE_DIRECTORY ${_vorn_web_include})
  file(CREATE_LINK ${VORN_JSON_INCLUDE}/nlohmann ${_vorn_web_include}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${_vorn_web_include})
endif()
set(nlohmann_json_FOUND TRUE)
