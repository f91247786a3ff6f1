# The POSIX build's platform sources and settings.

# Case mapping, path rules and UTF-8 conversion under the portable logic.
target_sources(cleanup_portable PRIVATE runtime/text_posix.cpp runtime/unicode_posix.cpp)

target_sources(cleanup_platform PRIVATE
  runtime/console_posix.cpp
  runtime/parameters_posix.cpp
  runtime/dates_posix.cpp
  # Listing, facts and removal, every file-system call through one table
  # that tests can swap.
  runtime/file_system/posix/file_system.cpp
  runtime/file_system/posix/listing.cpp
  runtime/file_system/posix/facts.cpp
  runtime/file_system/posix/removal.cpp
  runtime/file_system/posix/calls.cpp
  # The input's directory is opened through trusted links and file systems only.
  runtime/file_system/posix/trusted_path.cpp
  runtime/file_system/posix/mount_trust.cpp
  # Files held open by processes stay (read from /proc).
  runtime/file_system/posix/open_files.cpp
)

# The directory scan reads file facts on a second thread.
find_package(Threads REQUIRED)
target_link_libraries(cleanup_platform PUBLIC Threads::Threads)
