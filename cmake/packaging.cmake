# Installation and packages.
#
# POSIX: `cmake --install` puts the tool, its manual page, README, copyright,
# scheduling examples and bash completion into the GNU directories; the
# `package` target makes cleanup_<version>_amd64.deb from the same rules, with
# the manual page, README and changelog compressed as Debian wants.
# Windows: `cmake --install` and the `package` target (cleanup-<version>-win64.zip)
# give cleanup.exe beside README.txt (a page for Windows users), the licence
# texts and the scheduled-task wrapper cleanup-task.cmd, all with CR LF.
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

# Reproducible packages: every date in them is the last commit's, or
# SOURCE_DATE_EPOCH's when that is set (without git: CMakeLists.txt's time).
# A new commit configures the build again, so the date follows it.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CLEANUP_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE CLEANUP_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _git_status ERROR_QUIET)
  execute_process(COMMAND git rev-parse --path-format=absolute --git-path logs/HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE _git_head_log OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(_git_status EQUAL 0 AND CLEANUP_SOURCE_DATE MATCHES "^[0-9]+$")
    if(EXISTS "${_git_head_log}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_git_head_log})
    endif()
  else()
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt CLEANUP_SOURCE_DATE "%s" UTC)
  endif()
endif()
# string(TIMESTAMP) reads the variable too.
set(ENV{SOURCE_DATE_EPOCH} ${CLEANUP_SOURCE_DATE})
string(TIMESTAMP CLEANUP_SOURCE_DAY "%Y-%m-%d" UTC)

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
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt README.txt)
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt)
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/packaging/PCRE-LICENCE PCRE-LICENCE.txt)
  # The wrapper for scheduled tasks, and the byte-order mark it starts each log with.
  _cleanup_windows_text(${PROJECT_SOURCE_DIR}/packaging/cleanup-task.cmd cleanup-task.cmd)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/utf16le-bom.bin DESTINATION .)

  # The zip, made by packaging/make-zip.py rather than CPack: its entries in
  # name order with the source date and no owner, whatever the file system's
  # order, the files' times or the time zone.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(_zip_name cleanup-${PROJECT_VERSION}-win64)
  set(_zip_stage ${CMAKE_CURRENT_BINARY_DIR}/package/zip)
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_zip_stage}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_CURRENT_BINARY_DIR}
            --prefix ${_zip_stage}/${_zip_name}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/make-zip.py
            ${CMAKE_CURRENT_BINARY_DIR}/${_zip_name}.zip ${_zip_stage} ${CLEANUP_SOURCE_DATE}
    DEPENDS cleanup
    COMMENT "Making ${_zip_name}.zip" VERBATIM)
  return()
endif()

set(CLEANUP_MAINTAINER "The cleanup developers <cleanup@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(_package_dir ${CMAKE_CURRENT_BINARY_DIR}/package)

# The manual page quotes the scheduling examples of contrib/ whole, made into
# roff text: backslashes and minus signs escaped, a leading dot or quote kept
# from being read as a request.
function(_cleanup_roff_text variable file)
  _cleanup_read_text(text ${file})
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()
_cleanup_roff_text(CLEANUP_EXAMPLE_SERVICE ${PROJECT_SOURCE_DIR}/contrib/cleanup-app-logs.service)
_cleanup_roff_text(CLEANUP_EXAMPLE_TIMER ${PROJECT_SOURCE_DIR}/contrib/cleanup-app-logs.timer)
_cleanup_roff_text(CLEANUP_EXAMPLE_CRONTAB ${PROJECT_SOURCE_DIR}/contrib/cleanup.crontab)
configure_file(${PROJECT_SOURCE_DIR}/doc/cleanup.1.in ${_package_dir}/cleanup.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${_package_dir}/copyright @ONLY)
# The changelog's date is the source date.
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
# The completion of the options needs bash-completion to be loaded.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack stamps the package's files with SOURCE_DATE_EPOCH: the source date.
file(WRITE ${_package_dir}/cpack-options.cmake
     "set(ENV{SOURCE_DATE_EPOCH} ${CLEANUP_SOURCE_DATE})\n")
set(CPACK_PROJECT_CONFIG_FILE ${_package_dir}/cpack-options.cmake)
# The extended description, one line of the control file per line here.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "cleanup lists the files that a wildcard pattern finds in one directory,"
       "narrows the list by a regular expression over the names, a minimum age"
       "and a number of newest files to spare, and deletes what is left, newest"
       "first: simulated by default, asking before each file, or unattended in"
       "batch mode. It is meant to be scheduled by cron or a systemd timer."
       "Examples are in /usr/share/doc/cleanup/examples.")
include(CPack)
