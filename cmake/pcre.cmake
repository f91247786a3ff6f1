# PCRE 8.x as target cleanup_pcre: the system's libpcre3-dev on POSIX, a
# static mingw-w64 build of Debian's pcre3 source for Windows.
add_library(cleanup_pcre INTERFACE)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/pcre_mingw.cmake)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PCRE REQUIRED IMPORTED_TARGET libpcre)
  target_link_libraries(cleanup_pcre INTERFACE PkgConfig::PCRE)
endif()
