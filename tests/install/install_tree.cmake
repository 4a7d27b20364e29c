# install_tree.cmake (cmake -P): installs the build tree BUILD_DIR into a temporary prefix and
# uses it as a host would: the layout (versioned library and SONAME, headers in include/kvelo,
# CMake package, pkg-config file), the headers under -Wall -Wextra -Werror with the C++
# compiler and clang++, a CMake host (find_package, kvelo::kvelo) that fits and predicts a
# Kriging model, and a C host built with pkg-config's flags that uses the C matrix library.
# Everything is made in one temporary folder, removed at the end, failure or not.
cmake_minimum_required(VERSION 3.18)

foreach(v BUILD_DIR HOSTS_DIR SOURCE_INCLUDE_DIR SOURCE_DIR VERSION VERSION_MAJOR LIBDIR
          INCLUDEDIR GENERATOR CXX CC)
  if("${${v}}" STREQUAL "")
    message(FATAL_ERROR "install_tree.cmake: ${v} is not given")
  endif()
endforeach()

execute_process(COMMAND mktemp -d -t kvelo-install.XXXXXX OUTPUT_VARIABLE WORK
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT IS_DIRECTORY "${WORK}")
  message(FATAL_ERROR "cannot make a temporary folder")
endif()
set(PREFIX ${WORK}/prefix)
set(PLIB ${PREFIX}/${LIBDIR})
set(PINC ${PREFIX}/${INCLUDEDIR})

# `cmake --install` also writes install_manifest.txt into the build tree: it is kept here
# and put back as it was, so that the test leaves the build tree unchanged.
set(MANIFEST ${BUILD_DIR}/install_manifest.txt)
set(HAD_MANIFEST FALSE)
if(EXISTS ${MANIFEST})
  set(HAD_MANIFEST TRUE)
  file(COPY ${MANIFEST} DESTINATION ${WORK}/saved)
endif()

function(restore_manifest)
  if(HAD_MANIFEST)
    execute_process(COMMAND ${CMAKE_COMMAND} -E copy ${WORK}/saved/install_manifest.txt
                            ${MANIFEST})
  else()
    file(REMOVE ${MANIFEST})
  endif()
endfunction()

function(restore_and_clean)
  restore_manifest()
  file(REMOVE_RECURSE ${WORK})
endfunction()

function(fail what)
  restore_and_clean()
  message(FATAL_ERROR "${what}")
endfunction()

# run(<name> <command...>): runs the command, fails the test with its output when it fails;
# its standard output is left in RUN_OUT.
function(run name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("${name} failed (${rc}):\n${ARGN}\n${out}\n${err}")
  endif()
  set(RUN_OUT "${out}" PARENT_SCOPE)
endfunction()

# --- Install and layout ---------------------------------------------------------------
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
restore_manifest()

set(REAL_LIB ${PLIB}/libkvelo.so.${VERSION})
if(NOT EXISTS ${REAL_LIB} OR IS_SYMLINK ${REAL_LIB})
  fail("the installed library is not ${REAL_LIB}")
endif()
foreach(link libkvelo.so.${VERSION_MAJOR} libkvelo.so)
  if(NOT IS_SYMLINK ${PLIB}/${link})
    fail("${PLIB}/${link} is not a link")
  endif()
  get_filename_component(target ${PLIB}/${link} REALPATH)
  get_filename_component(real ${REAL_LIB} REALPATH)
  if(NOT target STREQUAL real)
    fail("${PLIB}/${link} leads to ${target}, not ${real}")
  endif()
endforeach()
if(OBJDUMP)
  run("objdump -p" ${OBJDUMP} -p ${REAL_LIB})
  if(NOT RUN_OUT MATCHES "SONAME +libkvelo\\.so\\.${VERSION_MAJOR}\n")
    fail("SONAME of ${REAL_LIB} is not libkvelo.so.${VERSION_MAJOR}:\n${RUN_OUT}")
  endif()
endif()

# No path of the source tree in what the library carries at run time (debug sections and
# the sanitizers' own records name the sources by design).
if(OBJCOPY AND NOT SANITIZED)
  run("objcopy --strip-debug" ${OBJCOPY} --strip-debug ${REAL_LIB} ${WORK}/stripped.so)
  string(REGEX REPLACE "([][+.*()^$?|\\])" "\\\\\\1" source_re "${SOURCE_DIR}/")
  file(STRINGS ${WORK}/stripped.so paths REGEX "${source_re}")
  if(paths)
    list(SUBLIST paths 0 5 some)
    fail("the library names the source tree ${SOURCE_DIR}: ${some}")
  endif()
endif()

# The installed headers: those of the source include folder, the generated version header,
# nothing else (no header of the sources' own).
file(GLOB want RELATIVE ${SOURCE_INCLUDE_DIR} ${SOURCE_INCLUDE_DIR}/*.h)
list(APPEND want kvelo_version.h)
file(GLOB_RECURSE have RELATIVE ${PINC}/kvelo ${PINC}/kvelo/*)
list(SORT want)
list(SORT have)
if(NOT want STREQUAL have)
  fail("installed headers differ from the public ones:\nwant ${want}\nhave ${have}")
endif()
foreach(f kveloConfig.cmake kveloConfigVersion.cmake kveloTargets.cmake)
  if(NOT EXISTS ${PLIB}/cmake/kvelo/${f})
    fail("${PLIB}/cmake/kvelo/${f} is missing")
  endif()
endforeach()
if(NOT EXISTS ${PLIB}/pkgconfig/kvelo.pc)
  fail("${PLIB}/pkgconfig/kvelo.pc is missing")
endif()

# --- Headers as a host compiles them: no warning from the library's headers ------------
set(HDR_FLAGS -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I${PINC}/kvelo -I${PINC})
run("${CXX} on the installed headers" ${CXX} ${HDR_FLAGS} ${HOSTS_DIR}/host_headers.cpp)
if(CLANGXX AND NOT CLANGXX MATCHES "NOTFOUND$")
  run("clang++ on the installed headers" ${CLANGXX} ${HDR_FLAGS} ${HOSTS_DIR}/host_headers.cpp)
else()
  message(STATUS "clang++ not found: the headers were checked with ${CXX} only")
endif()

# Prints the libkvelo.so that <program> loads; fails unless it is the installed one.
function(check_loads_installed program)
  run("ldd ${program}" ldd ${program})
  string(REGEX MATCH "libkvelo\\.so\\.${VERSION_MAJOR} => ([^ ]+)" found "${RUN_OUT}")
  set(loaded "${CMAKE_MATCH_1}")
  if(loaded STREQUAL "")
    fail("${program} does not load libkvelo.so.${VERSION_MAJOR}:\n${RUN_OUT}")
  endif()
  get_filename_component(loaded ${loaded} REALPATH)
  get_filename_component(real ${REAL_LIB} REALPATH)
  if(NOT loaded STREQUAL real)
    fail("${program} loads ${loaded}, not the installed ${real}")
  endif()
endfunction()

# --- A CMake host: find_package(kvelo REQUIRED), target_link_libraries(app kvelo::kvelo) --
set(HOST_BUILD ${WORK}/cmake_host)
set(cfg -S ${HOSTS_DIR}/cmake_host -B ${HOST_BUILD} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${HOST_FLAGS}"
    -DKVELO_EXPECTED_VERSION=${VERSION})
if(MAKE_PROGRAM)
  list(APPEND cfg -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(BUILD_TYPE)
  list(APPEND cfg -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
endif()
run("configuring the CMake host" ${CMAKE_COMMAND} ${cfg})
file(STRINGS ${HOST_BUILD}/CMakeCache.txt found_dir REGEX "^kvelo_DIR:")
if(NOT found_dir STREQUAL "kvelo_DIR:PATH=${PLIB}/cmake/kvelo")
  fail("the CMake host found another kvelo package: ${found_dir}")
endif()
run("building the CMake host" ${CMAKE_COMMAND} --build ${HOST_BUILD})
check_loads_installed(${HOST_BUILD}/app)
run("running the CMake host" ${HOST_BUILD}/app)
message(STATUS "CMake host:\n${RUN_OUT}")

# --- A C host: cc $(pkg-config --cflags kvelo) c_host.c $(pkg-config --libs kvelo) ------
if(NOT PKG_CONFIG OR PKG_CONFIG MATCHES "NOTFOUND$")
  fail("pkg-config is not installed (scripts/deps.sh installs it)")
endif()
set(PC ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${PLIB}/pkgconfig ${PKG_CONFIG})
run("pkg-config --modversion" ${PC} --modversion kvelo)
string(STRIP "${RUN_OUT}" pcversion)
if(NOT pcversion STREQUAL VERSION)
  fail("pkg-config gives version ${pcversion}, not ${VERSION}")
endif()
run("pkg-config --cflags" ${PC} --cflags kvelo)
separate_arguments(pc_cflags UNIX_COMMAND "${RUN_OUT}")
run("pkg-config --libs" ${PC} --libs kvelo)
separate_arguments(pc_libs UNIX_COMMAND "${RUN_OUT}")
separate_arguments(host_flags UNIX_COMMAND "${HOST_FLAGS}")
run("building the C host" ${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${host_flags}
    ${pc_cflags} ${HOSTS_DIR}/c_host.c -o ${WORK}/c_host ${pc_libs} -Wl,-rpath,${PLIB})
check_loads_installed(${WORK}/c_host)
run("running the C host" ${WORK}/c_host)
message(STATUS "C host:\n${RUN_OUT}")

restore_and_clean()
