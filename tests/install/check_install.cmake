# The installed package as a plug-in author and an agent meet it, end to end:
#   1. the build tree is installed into a scratch prefix under umask 002,
#      and every project header an installed header includes is installed;
#   2. the example (share/velar/examples/logchip: an adaptor plug-in and a
#      small agent) is copied out of the install, built against the installed
#      package alone, and its plug-in installed into a plug-in root of its
#      own, again under umask 002;
#   3. the example's agent loads the plug-in through VELAR_PLUGIN_PATH,
#      commits, removes and restarts, and checks every adaptor call it sees;
#      standard error stays empty (no report of any kind);
#   4. without VELAR_PLUGIN_PATH the same agent finds no adaptor (the
#      simulated chip is not in the install's default plug-in root), the
#      installed dvp-agent still finds the simulated chip in its own root,
#      and the table library opens by its path alone (it finds the platform
#      library beside it itself).
# {fmt} is hidden from both builds: the package must not need it.
# Variables: BUILD_DIR, SOURCE_DIR, WORK_DIR, CXX.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

# Runs a command and stops with its output when it fails (or, with
# QUIET_STDERR, when it writes anything to standard error).
function(step what)
  cmake_parse_arguments(S "QUIET_STDERR" "" "COMMAND" ${ARGN})
  execute_process(COMMAND ${S_COMMAND} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR (S_QUIET_STDERR AND NOT err STREQUAL ""))
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
endfunction()

# Installs a build tree under umask 002, as a user with a group-writable
# umask would.
function(install_tree build to)
  step("install of ${build}" COMMAND sh -c "umask 002 && exec \"$0\" --install \"$1\" --prefix \"$2\""
    ${CMAKE_COMMAND} ${build} ${to})
endfunction()

function(build_against_prefix source build)
  step("configure of ${source}" COMMAND ${CMAKE_COMMAND} -S ${source} -B ${build}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_DISABLE_FIND_PACKAGE_fmt=ON)
  step("build of ${source}" COMMAND ${CMAKE_COMMAND} --build ${build})
endfunction()

install_tree(${BUILD_DIR} ${prefix})
set(feature "AsicFeature/VelarL3Vfi::LocalDvpTable")
foreach(file lib/velar-simchip/${feature}/libsimchip.so lib/cmake/VelarL3Vfi/VelarPlugin.cmake
    share/doc/velar/adaptors.md share/velar/examples/logchip/LogChip.cpp)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The installed headers stand on their own: each one's project includes are
# installed too (a public header never reaches into an internal/ folder).
file(GLOB_RECURSE headers RELATIVE ${prefix}/include/velar ${prefix}/include/velar/*.h)
foreach(header ${headers})
  file(STRINGS ${prefix}/include/velar/${header} includes REGEX "^#include \"")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT EXISTS ${prefix}/include/velar/${included})
      message(FATAL_ERROR "installed ${header} includes ${included}, which is not installed")
    endif()
  endforeach()
endforeach()

# The author's copy of the example, built and installed.
file(COPY ${prefix}/share/velar/examples/logchip DESTINATION ${WORK_DIR})
build_against_prefix(${WORK_DIR}/logchip ${WORK_DIR}/logchip/build)
install_tree(${WORK_DIR}/logchip/build ${WORK_DIR}/plugins)
file(GLOB logchip ${WORK_DIR}/plugins/*/velar-plugins/${feature}/liblogchip.so)
if(NOT logchip)
  message(FATAL_ERROR "the example adaptor was not installed under ${WORK_DIR}/plugins")
endif()
string(REPLACE "/${feature}/liblogchip.so" "" logchip_root "${logchip}")

set(ENV{TRACE} "")
unset(ENV{LD_LIBRARY_PATH})
set(ENV{VELAR_PLUGIN_PATH} ${logchip_root})
step("the example agent on the installed example adaptor" QUIET_STDERR COMMAND ${WORK_DIR}/logchip/build/logchip-agent)

unset(ENV{VELAR_PLUGIN_PATH})
execute_process(COMMAND ${WORK_DIR}/logchip/build/logchip-agent RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "no adaptor plug-in was loaded")
  message(FATAL_ERROR "the install's default plug-in root gave the table an adaptor (${rc}): ${err}")
endif()
step("the installed dvp-agent" COMMAND ${prefix}/bin/dvp-agent run ${prefix}/share/velar/scenarios/first-start.dvp)
build_against_prefix(${SOURCE_DIR}/tests/install/consumer ${WORK_DIR}/consumer)
step("opening the table library by its path" COMMAND ${WORK_DIR}/consumer/dlopen-check ${prefix}/lib/libVelarL3Vfi.so)
message(STATUS "installed package: example built, installed and run; default root, dvp-agent and library checked")
