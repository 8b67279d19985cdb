#!/usr/bin/env bash
# Builds libarchive for mingw-w64 as static libraries, with what mods' archives need: zip (stored,
# deflate, bzip2, LZMA, PPMd), 7z (LZMA, LZMA2, bzip2, deflate, PPMd, with the BCJ, BCJ2 and delta
# filters), RAR 4 and 5, and tar with gzip, bzip2 or xz. libarchive reads no Deflate64 (zip method 9,
# which Windows' own zip folders may write for large files), and 3.6 neither the ARM64 filter of 7z nor
# PPMd behind BCJ in 7z, on Linux alike. The sources are Debian's: libarchive of the installed
# libarchive-dev, xz-utils' liblzma and bzip2 as the source archive has them newest, and zlib is that of
# libz-mingw-w64-dev. The result goes to a cache folder outside the checkout, named by libarchive's
# version and a hash of the versions and options; a later run finds it and does nothing. Progress goes
# to standard error; the folder is printed last, alone on standard output:
#   VANTREL_MINGW_ARCHIVE=$(bash tools/mingw_archive.sh)
# The folder holds include/ (archive.h, archive_entry.h and the three libraries' headers) and lib/ with
# libarchive.a, liblzma.a, libbz2.a and libz.a, to be linked in that order, with LIBARCHIVE_STATIC
# defined wherever archive.h is included; they call no Windows library that mingw does not link anyway.
# cmake/VantrelArchive.cmake makes of them the target Vantrel::Archive when VANTREL_MINGW_ARCHIVE names
# the folder. On Windows libarchive keeps names as UTF-16: archive_entry_pathname_w gives them whole,
# where archive_entry_pathname_utf8 passes them through the ANSI code page and returns NULL for a name
# that it cannot hold.
# Takes about 4 minutes on two cores the first time; needs root to install what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build dpkg-dev libarchive-dev libz-mingw-w64-dev g++-mingw-w64-x86-64-posix >&2

cc=x86_64-w64-mingw32-gcc-posix
ar=x86_64-w64-mingw32-ar

debian_version=$(dpkg-query -W -f='${Version}' libarchive-dev)
archive_version=${debian_version#*:}
archive_version=${archive_version%%-*}
zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
zlib_library=$($cc -print-file-name=libz.a)
zlib_include=$(dirname "$zlib_library")/../include

ensure_debian_sources "libarchive=$debian_version"

# The newest version of a source package that the source archive has, which apt-get source fetches.
source_version() {
  apt-get source --print-uris "$1" 2>/dev/null | sed -n "s/^'[^']*' $1_\(.*\)\.dsc .*/\1/p" | head -n 1
}
xz_version=$(source_version xz-utils)
bzip2_version=$(source_version bzip2)
if [ -z "$xz_version" ] || [ -z "$bzip2_version" ]; then
  echo "Debian's source archive has no xz-utils or no bzip2" >&2
  exit 1
fi

# Only what reading mod archives needs: no crypto libraries (Windows' own CNG included, so zip's AES
# encryption cannot be read; the old zip encryption can), no iconv (libarchive converts names with
# Windows' own functions), no XML (xar), no zstd, lz4, lzo or b2, no ACLs or extended attributes, no
# programs, no tests.
archive_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DWINDOWS_VERSION=WIN10
  -DENABLE_OPENSSL=OFF
  -DENABLE_MBEDTLS=OFF
  -DENABLE_NETTLE=OFF
  -DENABLE_CNG=OFF
  -DENABLE_LIBB2=OFF
  -DENABLE_LZ4=OFF
  -DENABLE_LZO=OFF
  -DENABLE_ZSTD=OFF
  -DENABLE_LIBXML2=OFF
  -DENABLE_EXPAT=OFF
  -DENABLE_PCREPOSIX=OFF
  -DPOSIX_REGEX_LIB=NONE
  -DENABLE_LIBGCC=OFF
  -DENABLE_ICONV=OFF
  -DENABLE_ACL=OFF
  -DENABLE_XATTR=OFF
  -DENABLE_TAR=OFF
  -DENABLE_CPIO=OFF
  -DENABLE_CAT=OFF
  -DENABLE_TEST=OFF
  -DENABLE_WERROR=OFF
  -DENABLE_INSTALL=OFF
)
xz_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
)
bzip2_flags=(-O2 -D_FILE_OFFSET_BITS=64 -Wall)

# The compilers of cmake/mingw-w64.cmake, without its static runtime: only libraries are built here.
toolchain=$(<cmake/mingw-w64-compilers.cmake)

compiler_version=$($cc -dumpfullversion)
key=$(printf '%s\n' "$debian_version" "$xz_version" "$bzip2_version" "$zlib_version" "$compiler_version" \
  "$toolchain" "${archive_options[@]}" "${xz_options[@]}" "${bzip2_flags[@]}" | sha256sum | cut -c1-10)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel
prefix=$cache_root/archive-$archive_version-mingw-$key
stamp=$prefix/.vantrel-complete

if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

# An earlier build that stopped before its stamp is redone from the start.
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib" "$prefix/share/licenses"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt fetches as the _apt user, which must be able to write here.
chmod 755 "$work"
printf '%s\n' "$toolchain" >"$work/toolchain.cmake"

started=$(date +%s)
echo "Fetching the sources of libarchive $debian_version, xz-utils $xz_version and bzip2 $bzip2_version" >&2
(cd "$work" && apt-get source -qq "libarchive=$debian_version" "xz-utils=$xz_version" "bzip2=$bzip2_version" >&2)
source_of() {
  find "$work" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1
}
archive_source=$(source_of libarchive)
xz_source=$(source_of xz-utils)
bzip2_source=$(source_of bzip2)

echo "Copying zlib $zlib_version from libz-mingw-w64-dev" >&2
cp "$zlib_library" "$prefix/lib/libz.a"
cp "$zlib_include/zlib.h" "$zlib_include/zconf.h" "$prefix/include/"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$prefix/share/licenses/zlib"

# bzip2's Makefile builds its programs and tests too: its library is seven files.
echo "Building libbz2 for mingw-w64" >&2
for name in blocksort huffman crctable randtable compress decompress bzlib; do
  nice -n 10 "$cc" "${bzip2_flags[@]}" -c "$bzip2_source/$name.c" -o "$work/bz2-$name.o"
done
"$ar" rcs "$prefix/lib/libbz2.a" "$work"/bz2-*.o
cp "$bzip2_source/bzlib.h" "$prefix/include/"
cp "$bzip2_source/LICENSE" "$prefix/share/licenses/bzip2"

echo "Building liblzma for mingw-w64" >&2
nice -n 10 cmake -S "$xz_source" -B "$work/build-xz" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" "${xz_options[@]}" >&2
nice -n 10 cmake --build "$work/build-xz" --target liblzma --parallel "$(nproc)" >&2
cmake --install "$work/build-xz" --component liblzma_Development >&2
# Its CMake package is of no use beside libarchive.
rm -rf "$prefix/lib/cmake"
cp "$xz_source/COPYING" "$prefix/share/licenses/xz"

# libarchive runs a program to learn whether zlib was built with ZLIB_WINAPI, which cmake 3.25.1 cannot
# do when cross-compiling (it crashes): the answer, no, is given, and with it the library it is for, so
# that libarchive keeps it.
echo "Building libarchive $archive_version for mingw-w64" >&2
nice -n 10 cmake -S "$archive_source" -B "$work/build-archive" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" "${archive_options[@]}" \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
  -DZLIB_WINAPI=OFF -DZLIB_WINAPI_WITH_LIB="$prefix/lib/libz.a" \
  -DBZIP2_LIBRARIES="$prefix/lib/libbz2.a" -DBZIP2_INCLUDE_DIR="$prefix/include" \
  -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" -DLIBLZMA_INCLUDE_DIR="$prefix/include" >&2
nice -n 10 cmake --build "$work/build-archive" --target archive_static --parallel "$(nproc)" >&2
cp "$work/build-archive/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
cp "$archive_source/libarchive/archive.h" "$archive_source/libarchive/archive_entry.h" "$prefix/include/"
cp "$archive_source/COPYING" "$prefix/share/licenses/libarchive"

touch "$stamp"
echo "libarchive $archive_version for mingw-w64 built in $(( $(date +%s) - started )) seconds" >&2
echo "$prefix"
