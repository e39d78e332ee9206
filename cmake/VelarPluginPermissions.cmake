# The plug-in loader refuses plug-ins that group or others can write, and the
# directories on the way to them (platform/Plugin/Permissions.h). Files and
# directories made during a build follow the umask, so under a umask such as
# 002 the build tree's plug-ins would be refused: velar_plugin_permissions
# takes the group and world write bits off a plug-in module, its plug-in root
# and the directories between them after every link.
function(velar_plugin_permissions target root relative)
  set(dirs ${root})
  set(dir ${root})
  string(REPLACE "/" ";" parts "${relative}")
  foreach(part IN LISTS parts)
    set(dir "${dir}/${part}")
    list(APPEND dirs "${dir}")
  endforeach()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND chmod go-w "$<TARGET_FILE:${target}>" ${dirs}
    VERBATIM)
endfunction()

# Installed directories get 0755 whatever the installing user's umask (files
# already get fixed permissions from install()).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
