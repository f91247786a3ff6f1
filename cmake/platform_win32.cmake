# The Windows build's platform sources and settings: one console executable
# with the Unicode entry point (wmain) that needs no DLL beyond the system's
# (kernel32, user32, msvcrt).

# Case mapping, path rules and UTF-8 conversion under the portable logic.
target_sources(cleanup_portable PRIVATE runtime/text_win32.cpp runtime/unicode_win32.cpp)

target_sources(cleanup_platform PRIVATE
  runtime/console_win32.cpp
  runtime/parameters_win32.cpp
  runtime/dates_win32.cpp
  # Listing, identity and removal, every call through one table tests can swap.
  runtime/file_system/win32/file_system.cpp
  runtime/file_system/win32/listing.cpp
  runtime/file_system/win32/removal.cpp
  runtime/file_system/win32/calls.cpp
)

# Stripped when linked and without a link time in the PE header (strip would
# write one later), so two builds give the same bytes.
target_link_options(cleanup PRIVATE -municode -static -static-libgcc -static-libstdc++ -s
                    -Wl,--no-insert-timestamp)
set_target_properties(cleanup PROPERTIES WIN32_EXECUTABLE OFF)

# Case mapping (CharUpperW/CharLowerW) lives in user32, everything else the
# services call in kernel32.
target_link_libraries(cleanup_portable PUBLIC user32 kernel32)

# Wide-character calls only: no ANSI (...A) variant is picked by a macro.
target_compile_definitions(cleanup_portable PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The version resource: product name, file description and the project
# version, as Explorer and PowerShell show them.
enable_language(RC)
# Missing parts of the project version count as 0.
foreach(_part MINOR PATCH)
  set(CLEANUP_VERSION_${_part} 0)
  if(PROJECT_VERSION_${_part})
    set(CLEANUP_VERSION_${_part} ${PROJECT_VERSION_${_part}})
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in generated/cleanup_version.rc @ONLY)
target_sources(cleanup PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/cleanup_version.rc)
