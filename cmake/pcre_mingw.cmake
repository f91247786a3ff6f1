# PCRE 8.x for the Windows build: Debian's pcre3 source package (its patches
# applied by dpkg-source), built once at configure time into the build tree
# as a static 8-bit library with UTF-8 and Unicode-property support.
#
# The source comes from `apt-get source pcre3`, which needs a deb-src entry
# (scripts/install-deps adds one). CLEANUP_PCRE_SOURCE may name an unpacked
# source tree instead.
set(CLEANUP_PCRE_SOURCE "" CACHE PATH "Unpacked pcre3 source tree (empty: apt-get source)")
set(_pcre_root ${CMAKE_BINARY_DIR}/_deps/pcre)
set(_pcre_prefix ${_pcre_root}/install)
set(_pcre_library ${_pcre_prefix}/lib/libpcre.a)

function(_cleanup_pcre_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "PCRE for Windows: '${ARGN}' failed (${rc}):\n${out}")
  endif()
endfunction()

function(_cleanup_pcre_source result)
  if(CLEANUP_PCRE_SOURCE)
    set(${result} ${CLEANUP_PCRE_SOURCE} PARENT_SCOPE)
    return()
  endif()
  file(GLOB found LIST_DIRECTORIES true ${_pcre_root}/source/pcre3-*)
  if(NOT found)
    message(STATUS "PCRE for Windows: fetching Debian's pcre3 source package")
    file(MAKE_DIRECTORY ${_pcre_root}/source)
    execute_process(COMMAND apt-get source pcre3 WORKING_DIRECTORY ${_pcre_root}/source
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    file(GLOB found LIST_DIRECTORIES true ${_pcre_root}/source/pcre3-*)
    if(NOT rc EQUAL 0 OR NOT found)
      message(FATAL_ERROR "PCRE for Windows: 'apt-get source pcre3' failed (${rc}); "
                          "run scripts/install-deps (it adds the deb-src entry).\n${out}")
    endif()
  endif()
  list(GET found 0 dir)
  set(${result} ${dir} PARENT_SCOPE)
endfunction()

if(NOT EXISTS ${_pcre_library})
  _cleanup_pcre_source(_pcre_source)
  message(STATUS "PCRE for Windows: building ${_pcre_source}")
  file(REMOVE_RECURSE ${_pcre_root}/build)
  _cleanup_pcre_run(
    ${CMAKE_COMMAND} -S ${_pcre_source} -B ${_pcre_root}/build -G Ninja
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${_pcre_prefix}
    -DBUILD_SHARED_LIBS=OFF
    -DPCRE_BUILD_PCRE8=ON -DPCRE_BUILD_PCRE16=OFF -DPCRE_BUILD_PCRE32=OFF
    -DPCRE_BUILD_PCRECPP=OFF -DPCRE_BUILD_PCREGREP=OFF -DPCRE_BUILD_TESTS=OFF
    -DPCRE_SUPPORT_UTF=ON -DPCRE_SUPPORT_UNICODE_PROPERTIES=ON
    -DPCRE_SUPPORT_JIT=OFF -DPCRE_SUPPORT_LIBZ=OFF -DPCRE_SUPPORT_LIBBZ2=OFF
    -DPCRE_SUPPORT_LIBREADLINE=OFF -DPCRE_SUPPORT_LIBEDIT=OFF)
  _cleanup_pcre_run(${CMAKE_COMMAND} --build ${_pcre_root}/build --target pcre)
  # Only the 8-bit library and its header are wanted.
  file(MAKE_DIRECTORY ${_pcre_prefix}/lib ${_pcre_prefix}/include)
  file(GLOB _pcre_built ${_pcre_root}/build/libpcre.a ${_pcre_root}/build/libpcre*.a)
  list(FILTER _pcre_built INCLUDE REGEX "/libpcre\\.a$")
  if(NOT _pcre_built)
    message(FATAL_ERROR "PCRE for Windows: libpcre.a was not built")
  endif()
  file(COPY ${_pcre_root}/build/pcre.h DESTINATION ${_pcre_prefix}/include)
  file(COPY ${_pcre_built} DESTINATION ${_pcre_prefix}/lib)
endif()

target_include_directories(cleanup_pcre SYSTEM INTERFACE ${_pcre_prefix}/include)
target_link_libraries(cleanup_pcre INTERFACE ${_pcre_library})
target_compile_definitions(cleanup_pcre INTERFACE PCRE_STATIC)
