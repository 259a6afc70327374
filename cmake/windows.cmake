# The Windows build (cmake/mingw-w64.cmake): rm7util, the core and their tests; the desktop
# program needs a Windows build of Qt, which nothing here provides.
set(RM7_GUI OFF CACHE BOOL "" FORCE)
set(RM7_BENCHMARKS OFF CACHE BOOL "" FORCE)
set(RM7_SANITIZE OFF CACHE BOOL "" FORCE)

# CLI11 and nlohmann/json are headers only: Debian's, through a folder that holds just them, so
# the cross compiler never sees the Linux system headers beside them in /usr/include.
set(rm7_header_only ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${rm7_header_only})
foreach(folder CLI nlohmann)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "/usr/include/${folder} is missing (Debian packages libcli11-dev, nlohmann-json3-dev)")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${rm7_header_only}/${folder} SYMBOLIC)
endforeach()
# find_package() looks in the redirect folder first.
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/cli11-config.cmake
    "if(NOT TARGET CLI11::CLI11)\n"
    "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
    "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${rm7_header_only}\")\n"
    "endif()\n")
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config.cmake
    "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
    "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
    "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${rm7_header_only}\")\n"
    "endif()\n")

# GoogleTest from Debian's sources, built with this toolchain (its own targets are GTest::*).
set(RM7_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${RM7_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
