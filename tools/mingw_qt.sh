#!/usr/bin/env bash
# Builds Qt (qtbase) for mingw-w64 from Debian's own source package, so that the whole program, windows
# included, cross-builds (`cmake --preset mingw-qt`). Debian packages no Qt for mingw, and the host tools
# (moc, uic, rcc) must be of the same version as the libraries, so the source is the one of the installed
# qt6-base-dev. The result goes to a cache folder outside the checkout, named by the Qt version and a hash
# of the options; a later run finds it and does nothing. Progress goes to standard error; the folder is
# printed last, alone on standard output: VANTREL_MINGW_QT=$(bash tools/mingw_qt.sh).
# Takes 25 to 45 minutes on two cores the first time; needs root to install what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build dpkg-dev qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix >&2

debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_version=${debian_version%%+*}
qt_version=${qt_version%%-*}

# Shared Release libraries and only the modules Vantrel uses (Core, Gui, Widgets, Test, the Windows and
# offscreen platform plugins). Debian's source leaves out the tablet header, the DirectWrite 3 font engine
# does not link with mingw's headers, and 6.4's Windows platform plugin does not compile without OpenGL.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_directwrite3=OFF
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)

# The compilers of cmake/mingw-w64.cmake, without its static runtime: Qt's libraries are DLLs that
# share one.
toolchain=$(<cmake/mingw-w64-compilers.cmake)

compiler_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
key=$(printf '%s\n' "$debian_version" "$compiler_version" "$toolchain" "${options[@]}" | sha256sum | cut -c1-10)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel
prefix=$cache_root/qt-$qt_version-mingw-$key
stamp=$prefix/.vantrel-complete

if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

ensure_debian_sources "qt6-base=$debian_version"

# An earlier build that stopped before its stamp is redone from the start.
rm -rf "$prefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt fetches as the _apt user, which must be able to write here.
chmod 755 "$work"
printf '%s\n' "$toolchain" >"$work/toolchain.cmake"

started=$(date +%s)
echo "Fetching the sources of qt6-base $debian_version" >&2
(cd "$work" && apt-get source -qq "qt6-base=$debian_version" >&2)
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

echo "Building Qt $qt_version for mingw-w64 into $prefix" >&2
nice -n 10 cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >&2
nice -n 10 cmake --build "$work/build" --parallel "$(nproc)" >&2
cmake --install "$work/build" >&2
# Qt's DLLs need the compiler's runtime DLLs: beside them, one folder on the path serves for both.
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$runtime")" "$prefix/bin/"
done
touch "$stamp"
echo "Qt $qt_version for mingw-w64 built in $(( ($(date +%s) - started) / 60 )) minutes" >&2
echo "$prefix"
