# Building hardware adaptor plug-ins for the local DVP table. Installed with
# the package (find_package(VelarL3Vfi) includes it) and used by the
# library's own build, so a plug-in built elsewhere gets the same layout and
# modes as the library's own:
#
#   velar_add_adaptor_plugin(<target> SOURCES <file>...
#                            [ROOT <dir>] [INSTALL_ROOT <dir>] [PREFIX <p>] [SUFFIX <s>])
#
# builds lib<target>.so, a loadable module linked with Velar::L3Vfi, into
# <ROOT>/<PREFIX>/<SUFFIX>/, where ROOT is a plug-in root to name in
# VELAR_PLUGIN_PATH (default ${PROJECT_BINARY_DIR}/velar-plugins), PREFIX
# "AsicFeature" and SUFFIX "VelarL3Vfi::LocalDvpTable". `cmake --install`
# puts it in <install prefix>/<INSTALL_ROOT>/<PREFIX>/<SUFFIX>/; the default
# INSTALL_ROOT, <libdir>/velar-plugins, is the library's default plug-in
# root when the plug-in is installed into the library's own prefix.
#
# The plug-in loader refuses a plug-in that group or others can write, and
# one under a directory they can write, from the plug-in root down. Files and
# directories made by a build follow the umask, so the module, ROOT and the
# directories between them lose their group and world write bits after every
# link; installed, the module, INSTALL_ROOT and the directories between get
# 0755, whatever the umask.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(VELAR_PLUGIN_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# `root` and every directory of `relative` below it, into `out`.
function(velar_plugin_directories out root relative)
  set(dirs ${root})
  set(dir ${root})
  string(REPLACE "/" ";" parts "${relative}")
  foreach(part IN LISTS parts)
    set(dir "${dir}/${part}")
    list(APPEND dirs "${dir}")
  endforeach()
  set(${out} "${dirs}" PARENT_SCOPE)
endfunction()

# Takes the group and world write bits off `target`'s file, `root` and every
# directory of `relative` under it, after every link.
function(velar_plugin_permissions target root relative)
  velar_plugin_directories(dirs "${root}" "${relative}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND chmod go-w "$<TARGET_FILE:${target}>" ${dirs}
    VERBATIM)
endfunction()

function(velar_add_adaptor_plugin target)
  cmake_parse_arguments(ARG "" "ROOT;INSTALL_ROOT;PREFIX;SUFFIX" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "velar_add_adaptor_plugin(${target}): no SOURCES")
  endif()
  set(default_ROOT ${PROJECT_BINARY_DIR}/velar-plugins)
  set(default_INSTALL_ROOT ${CMAKE_INSTALL_LIBDIR}/velar-plugins)
  set(default_PREFIX AsicFeature)
  set(default_SUFFIX "VelarL3Vfi::LocalDvpTable")
  foreach(arg ROOT INSTALL_ROOT PREFIX SUFFIX)
    if(NOT ARG_${arg})
      set(ARG_${arg} "${default_${arg}}")
    endif()
  endforeach()
  set(relative "${ARG_PREFIX}/${ARG_SUFFIX}")

  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE Velar::L3Vfi)
  if(TARGET velar_options)
    target_link_libraries(${target} PRIVATE velar_options)  # the library's own warning flags
  endif()
  # Linked beside the build files and copied into the plug-in root: a make
  # rule cannot name a file under "VelarL3Vfi::LocalDvpTable" (Makefile
  # generators take the colons for rule syntax), a command can.
  set_target_properties(${target} PROPERTIES PREFIX "lib"
    LIBRARY_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${ARG_ROOT}/${relative}"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${target}>" "${ARG_ROOT}/${relative}/"
    VERBATIM)
  velar_plugin_directories(dirs "${ARG_ROOT}" "${relative}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND chmod go-w "${ARG_ROOT}/${relative}/$<TARGET_FILE_NAME:${target}>" ${dirs}
    VERBATIM)

  install(TARGETS ${target} LIBRARY DESTINATION "${ARG_INSTALL_ROOT}/${relative}"
    PERMISSIONS ${VELAR_PLUGIN_DIRECTORY_PERMISSIONS})
  # The installed root and the directories down to the module, whether the
  # install made them or found them.
  velar_plugin_directories(dirs "${ARG_INSTALL_ROOT}" "${relative}")
  install(CODE "
    foreach(dir IN ITEMS ${dirs})
      if(NOT IS_ABSOLUTE \"\${dir}\")
        set(dir \"\${CMAKE_INSTALL_PREFIX}/\${dir}\")
      endif()
      file(CHMOD \"\$ENV{DESTDIR}\${dir}\" DIRECTORY_PERMISSIONS ${VELAR_PLUGIN_DIRECTORY_PERMISSIONS})
    endforeach()")
endfunction()
