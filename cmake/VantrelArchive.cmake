# The target Vantrel::Archive: libarchive, which unpacks mods' archives.
# With VANTREL_MINGW_ARCHIVE naming the folder that tools/mingw_archive.sh prints (the Windows build),
# its static libraries: libarchive and the liblzma, libbz2 and zlib it calls, in that order, with
# LIBARCHIVE_STATIC, without which archive.h declares its functions as a DLL's. They call only Windows
# libraries that mingw links anyway. Otherwise the system's libarchive (libarchive-dev on Debian).
if(TARGET Vantrel::Archive)
  return()
endif()
add_library(Vantrel::Archive INTERFACE IMPORTED GLOBAL)
if(VANTREL_MINGW_ARCHIVE)
  if(NOT EXISTS "${VANTREL_MINGW_ARCHIVE}/.vantrel-complete")
    message(FATAL_ERROR "No libarchive for mingw in \"${VANTREL_MINGW_ARCHIVE}\": set VANTREL_MINGW_ARCHIVE to the folder that tools/mingw_archive.sh prints")
  endif()
  set_target_properties(Vantrel::Archive PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${VANTREL_MINGW_ARCHIVE}/include"
    INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
    INTERFACE_LINK_LIBRARIES "${VANTREL_MINGW_ARCHIVE}/lib/libarchive.a;${VANTREL_MINGW_ARCHIVE}/lib/liblzma.a;${VANTREL_MINGW_ARCHIVE}/lib/libbz2.a;${VANTREL_MINGW_ARCHIVE}/lib/libz.a")
elseif(WIN32)
  message(FATAL_ERROR "The Windows build takes libarchive from tools/mingw_archive.sh: set VANTREL_MINGW_ARCHIVE to the folder it prints")
else()
  find_package(LibArchive REQUIRED)
  target_link_libraries(Vantrel::Archive INTERFACE LibArchive::LibArchive)
endif()
