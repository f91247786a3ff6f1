# The POSIX build's platform sources and settings.

# Case mapping, path rules and UTF-8 conversion under the portable logic.
target_sources(cleanup_portable PRIVATE runtime/text_posix.cpp runtime/unicode_posix.cpp)

target_sources(cleanup_platform PRIVATE
  runtime/console_posix.cpp
  runtime/parameters_posix.cpp
  runtime/dates_posix.cpp
  # Listing, facts and removal, every file-system call through one table
  # that tests can swap.
  runtime/file_system_posix.cpp
  runtime/entry_facts_posix.cpp
  runtime/file_system_calls_posix.cpp
  # The input's directory is opened through trusted links and file systems only.
  runtime/trusted_path_posix.cpp
  runtime/mount_trust_posix.cpp
  # Files held open by processes stay (read from /proc).
  runtime/open_files_posix.cpp
)

# The directory scan reads file facts on a second thread.
find_package(Threads REQUIRED)
target_link_libraries(cleanup_platform PUBLIC Threads::Threads)
