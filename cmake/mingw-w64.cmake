# Cross build for Windows with Debian's mingw-w64 (posix threads); the results run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
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
