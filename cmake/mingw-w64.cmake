# Cross build for Windows with Debian's mingw-w64 (posix threads); the results run under Wine.
# The compilers and where to find the Windows libraries: shared with tools/mingw_qt.sh, which builds
# Qt with them (their text is part of the name of the Qt it caches).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)
# Self-contained executables: no mingw runtime DLLs to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The preset mingw-qt: the Qt that tools/mingw_qt.sh builds, whose folder the caller names.
if(DEFINED VANTREL_MINGW_QT)
  if(NOT IS_DIRECTORY "${VANTREL_MINGW_QT}/lib/cmake/Qt6")
    message(FATAL_ERROR "No Qt for mingw in \"${VANTREL_MINGW_QT}\": set VANTREL_MINGW_QT to the folder that tools/mingw_qt.sh prints")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH "${VANTREL_MINGW_QT}")
  # Tests find Qt's DLLs, and the compiler's beside them, there.
  set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${VANTREL_MINGW_QT}/bin)
endif()
