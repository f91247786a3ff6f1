# PCRE 8.x as target cleanup_pcre, the same code for both builds: Debian's
# pcre3 source package (its patches applied by dpkg-source), built once at
# configure time into the build tree as a static 8-bit library with UTF-8 and
# Unicode-property support. Matching keeps its backtracking frames on the
# heap, never on the stack, so no expression can overflow the stack.
# runtime/regex.cpp sets the match and recursion limits below on every match;
# they are the library's own defaults too.
#
# scripts/fetch-pcre-source fetches the source once into build/pcre-source
# (shared by every preset) without touching the system's apt configuration.
# CLEANUP_PCRE_SOURCE may name an unpacked source tree instead.
set(CLEANUP_PCRE_SOURCE "" CACHE PATH "Unpacked pcre3 source tree (empty: fetched into build/)")
set(_pcre_root ${CMAKE_BINARY_DIR}/_deps/pcre)
set(_pcre_prefix ${_pcre_root}/install)
set(_pcre_library ${_pcre_prefix}/lib/libpcre.a)

# Steps of the matcher and nested backtracking frames per name, at most. At
# about 7 to 13 ns a step, 5,000 steps keep the worst name (an expression
# such as ^(\w+\.?)+\.log$ against 000123aaa...a.log!) near 0.05 ms; sane
# expressions need at most about a thousand steps and a few hundred frames
# on a 255-byte name.
set(CLEANUP_PCRE_MATCH_LIMIT 5000)
set(CLEANUP_PCRE_RECURSION_LIMIT 2000)

set(_pcre_options
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    -DPCRE_BUILD_PCRE8=ON -DPCRE_BUILD_PCRE16=OFF -DPCRE_BUILD_PCRE32=OFF
    -DPCRE_BUILD_PCRECPP=OFF -DPCRE_BUILD_PCREGREP=OFF -DPCRE_BUILD_TESTS=OFF
    -DPCRE_SUPPORT_UTF=ON -DPCRE_SUPPORT_UNICODE_PROPERTIES=ON
    -DPCRE_NO_RECURSE=ON -DPCRE_MATCH_LIMIT=${CLEANUP_PCRE_MATCH_LIMIT}
    -DPCRE_MATCH_LIMIT_RECURSION=${CLEANUP_PCRE_RECURSION_LIMIT}
    -DPCRE_SUPPORT_JIT=OFF -DPCRE_SUPPORT_LIBZ=OFF -DPCRE_SUPPORT_LIBBZ2=OFF
    -DPCRE_SUPPORT_LIBREADLINE=OFF -DPCRE_SUPPORT_LIBEDIT=OFF -DPCRE_SHOW_REPORT=OFF)
if(CMAKE_TOOLCHAIN_FILE)
  list(APPEND _pcre_options -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
else()
  list(APPEND _pcre_options -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
endif()

function(_cleanup_pcre_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "PCRE: '${ARGN}' failed (${rc}):\n${out}")
  endif()
endfunction()

function(_cleanup_pcre_source result)
  if(CLEANUP_PCRE_SOURCE)
    set(${result} ${CLEANUP_PCRE_SOURCE} PARENT_SCOPE)
    return()
  endif()
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-pcre-source ${PROJECT_SOURCE_DIR}/build/pcre-source
    RESULT_VARIABLE rc OUTPUT_VARIABLE dir ERROR_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "PCRE: scripts/fetch-pcre-source failed (${rc}); it needs apt-get and "
                        "dpkg-dev (scripts/install-deps).\n${out}")
  endif()
  set(${result} ${dir} PARENT_SCOPE)
endfunction()

# Built again when the options change.
string(SHA1 _pcre_stamp "${_pcre_options}")
if(NOT EXISTS ${_pcre_library} OR NOT EXISTS ${_pcre_root}/${_pcre_stamp}.stamp)
  _cleanup_pcre_source(_pcre_source)
  message(STATUS "PCRE: building ${_pcre_source}")
  file(REMOVE_RECURSE ${_pcre_root})
  _cleanup_pcre_run(${CMAKE_COMMAND} -S ${_pcre_source} -B ${_pcre_root}/build -G Ninja
                    -DCMAKE_INSTALL_PREFIX=${_pcre_prefix} ${_pcre_options})
  _cleanup_pcre_run(${CMAKE_COMMAND} --build ${_pcre_root}/build --target pcre)
  # Only the 8-bit library and its header are wanted.
  if(NOT EXISTS ${_pcre_root}/build/libpcre.a)
    message(FATAL_ERROR "PCRE: libpcre.a was not built")
  endif()
  file(COPY ${_pcre_root}/build/pcre.h DESTINATION ${_pcre_prefix}/include)
  file(COPY ${_pcre_root}/build/libpcre.a DESTINATION ${_pcre_prefix}/lib)
  file(TOUCH ${_pcre_root}/${_pcre_stamp}.stamp)
endif()

add_library(cleanup_pcre INTERFACE)
target_include_directories(cleanup_pcre SYSTEM INTERFACE ${_pcre_prefix}/include)
target_link_libraries(cleanup_pcre INTERFACE ${_pcre_library})
target_compile_definitions(
  cleanup_pcre INTERFACE PCRE_STATIC CLEANUP_PCRE_MATCH_LIMIT=${CLEANUP_PCRE_MATCH_LIMIT}
                         CLEANUP_PCRE_RECURSION_LIMIT=${CLEANUP_PCRE_RECURSION_LIMIT})
