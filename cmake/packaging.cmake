# Installation and packages.
#
# POSIX: `cmake --install` puts the tool, its manual page, README, copyright,
# scheduling examples and bash completion into the GNU directories; the
# `package` target makes cleanup_<version>_amd64.deb from the same rules, with
# the manual page, README and changelog compressed as Debian wants.
# Windows: `cmake --install` and the `package` target (cleanup-<version>-win64.zip)
# give cleanup.exe beside README.txt and the licence texts, all with CR LF.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME cleanup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The cleanup developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "delete old files from one directory")
set(CPACK_STRIP_FILES ON)

# Reads a text file into a variable; a change to it configures the build again.
function(_cleanup_read_text variable file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} text)
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

_cleanup_read_text(CLEANUP_OWN_LICENCE ${PROJECT_SOURCE_DIR}/LICENSE)
_cleanup_read_text(CLEANUP_PCRE_LICENCE ${PROJECT_SOURCE_DIR}/packaging/PCRE-LICENCE)

if(WIN32)
  # Windows readers expect CR LF: each text is copied with its line ends
  # changed.
  function(_cleanup_windows_text source target)
    _cleanup_read_text(text ${source})
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/package/${target} "${text}")
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/${target} DESTINATION .)
  endfunction()

  install(TARGETS cleanup RUNTIME DESTINATION .)
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/README.md README.txt)
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/packaging/PCRE-LICENCE PCRE-LICENCE.txt)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME cleanup-${PROJECT_VERSION}-win64)
  include(CPack)
  return()
endif()

set(CLEANUP_MAINTAINER "The cleanup developers <cleanup@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(_package_dir ${CMAKE_CURRENT_BINARY_DIR}/package)

configure_file(${PROJECT_SOURCE_DIR}/doc/cleanup.1.in ${_package_dir}/cleanup.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${_package_dir}/copyright @ONLY)
# The changelog's date is the time of configuring, or SOURCE_DATE_EPOCH.
string(TIMESTAMP CLEANUP_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${_package_dir}/changelog @ONLY)

# Debian's copies: compressed with gzip -9n (no name, no time stamp).
set(_compressed)
foreach(_file cleanup.1 changelog README.md)
  if(_file STREQUAL "README.md")
    set(_source ${PROJECT_SOURCE_DIR}/README.md)
  else()
    set(_source ${_package_dir}/${_file})
  endif()
  add_custom_command(OUTPUT ${_package_dir}/${_file}.gz
                     COMMAND gzip -9nc ${_source} > ${_package_dir}/${_file}.gz
                     DEPENDS ${_source}
                     COMMENT "Compressing ${_file} for the Debian package" VERBATIM)
  list(APPEND _compressed ${_package_dir}/${_file}.gz)
endforeach()
add_custom_target(cleanup_package_files ALL DEPENDS ${_compressed})

# Component "Unspecified": what every installation gets.
install(TARGETS cleanup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_package_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES contrib/cleanup-app-logs.service contrib/cleanup-app-logs.timer
              contrib/cleanup.crontab
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES packaging/cleanup.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME cleanup)
# Component "plain": the manual page and README as they are, for cmake --install.
install(FILES ${_package_dir}/cleanup.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT plain)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain)
# Component "debian": their compressed copies and the changelog, for the package only.
install(FILES ${_package_dir}/cleanup.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${_package_dir}/README.md.gz ${_package_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_CURRENT_BINARY_DIR};cleanup;Unspecified;/"
    "${CMAKE_CURRENT_BINARY_DIR};cleanup;debian;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CLEANUP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The extended description, one line of the control file per line here.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "cleanup lists the files that a wildcard pattern finds in one directory,"
       "narrows the list by a regular expression over the names, a minimum age"
       "and a number of newest files to spare, and deletes what is left, newest"
       "first: simulated by default, asking before each file, or unattended in"
       "batch mode. It is meant to be scheduled by cron or a systemd timer."
       "Examples are in /usr/share/doc/cleanup/examples.")
include(CPack)
