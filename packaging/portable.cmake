# The portable Linux folder (VANTREL_PORTABLE): `vantrel` at its top with qt.conf, the Qt libraries
# and every other library they need in lib/, and the Qt plugins the program loads in plugins/. It runs
# where it is unpacked, on a system without Qt (SteamOS), with no start script.
#
# Left out, as every desktop Linux has them and a copy of ours could clash with the system's graphics
# driver, which loads its own copies of several of them into the same process:
# - the C library and the C++ runtime (a driver built with a newer compiler needs the system's);
# - OpenGL, EGL, Vulkan and the driver's libraries, X11 and libxcb with the X protocol extensions its
#   package builds (the xcb-util helpers are kept: distributions package them apart), Wayland's client
#   libraries;
# - fontconfig, FreeType, HarfBuzz and expat, which must read the system's own font configuration;
# - zlib, zstd, xz and bzip2, which the drivers load too;
# - the keyboard layouts (xkeyboard-config), which xkbcommon reads on Wayland.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "VANTREL_PORTABLE makes a Linux folder; Windows has its own install rules")
endif()

set(VANTREL_SYSTEM_LIBRARIES
    # the C library
    "^ld-linux" "^linux-vdso" "^libc\\.so" "^libm\\.so" "^libmvec\\.so" "^libpthread\\.so" "^libdl\\.so"
    "^librt\\.so" "^libutil\\.so" "^libresolv\\.so" "^libanl\\.so" "^libnsl\\.so" "^libnss_" "^libthread_db\\.so"
    "^libBrokenLocale\\.so"
    # the C++ runtime
    "^libstdc\\+\\+\\.so" "^libgcc_s\\.so"
    # graphics
    "^libGL\\.so" "^libGLX" "^libGLdispatch\\.so" "^libOpenGL\\.so" "^libEGL" "^libGLES" "^libgbm\\.so"
    "^libdrm" "^libvulkan\\.so"
    "^libX11\\.so" "^libX11-xcb\\.so" "^libXau\\.so" "^libXdmcp\\.so" "^libXext\\.so"
    "^libxcb(-(composite|damage|dbe|dpms|dri2|dri3|glx|present|randr|record|render|res|screensaver|shape|shm|sync|xf86dri|xfixes|xinerama|xinput|xkb|xtest|xv|xvmc))?\\.so"
    "^libwayland-"
    # fonts
    "^libfontconfig\\.so" "^libfreetype\\.so" "^libharfbuzz\\.so" "^libexpat\\.so"
    # compression
    "^libz\\.so" "^libzstd\\.so" "^liblzma\\.so" "^libbz2\\.so")

# DT_RPATH rather than DT_RUNPATH: it also serves the libraries' own dependencies and the plugins Qt
# loads later, and it is looked at before LD_LIBRARY_PATH, which Steam sets for the games it starts.
set_target_properties(vantrel PROPERTIES INSTALL_RPATH "$ORIGIN/lib" BUILD_WITH_INSTALL_RPATH ON)
target_link_options(vantrel PRIVATE "LINKER:--disable-new-dtags")
install(TARGETS vantrel RUNTIME_DEPENDENCY_SET vantrel_libraries RUNTIME DESTINATION .)
install(FILES qt.conf DESTINATION .)

# The plugins, by folder: X11 with its OpenGL integrations; Wayland, with its shell, decorations and
# OpenGL integration, when qt6-wayland is installed here; the offscreen platform (tests, and a start
# without a display); compose-key input.
set(plugin_root "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}")
set(required_plugins
    platforms/libqxcb.so platforms/libqoffscreen.so
    xcbglintegrations/libqxcb-glx-integration.so xcbglintegrations/libqxcb-egl-integration.so
    platforminputcontexts/libcomposeplatforminputcontextplugin.so)
set(wayland_plugins
    platforms/libqwayland-generic.so platforms/libqwayland-egl.so
    wayland-shell-integration/libxdg-shell.so wayland-decoration-client/libbradient.so
    wayland-graphics-integration-client/libqt-plugin-wayland-egl.so)
set(plugins ${required_plugins})
if(EXISTS "${plugin_root}/platforms/libqwayland-generic.so")
  list(APPEND plugins ${wayland_plugins})
else()
  message(STATUS "No Qt Wayland plugins in ${plugin_root} (package qt6-wayland): the portable folder runs on X11 only")
endif()
foreach(plugin IN LISTS plugins)
  if(NOT EXISTS "${plugin_root}/${plugin}")
    message(FATAL_ERROR "The Qt plugin ${plugin_root}/${plugin} is missing")
  endif()
  string(MAKE_C_IDENTIFIER "vantrel_plugin_${plugin}" target)
  add_library(${target} MODULE IMPORTED)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${plugin_root}/${plugin}")
  get_filename_component(folder ${plugin} DIRECTORY)
  install(IMPORTED_RUNTIME_ARTIFACTS ${target} RUNTIME_DEPENDENCY_SET vantrel_libraries
          LIBRARY DESTINATION plugins/${folder})
endforeach()

install(RUNTIME_DEPENDENCY_SET vantrel_libraries
        PRE_EXCLUDE_REGEXES ${VANTREL_SYSTEM_LIBRARIES}
        LIBRARY DESTINATION lib)
