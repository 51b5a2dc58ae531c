#!/usr/bin/env bash
# Makes dist/Velmora-<version>-windows-x64.zip and -windows-x86.zip: the
# plug-in, velmora.exe, a README and the licence notices of the statically
# linked runtimes each. Builds what is missing in
# build-win-x64 and build-win-x86 (the folders scripts/windows-test.sh uses).
#   scripts/package-windows.sh [x64] [x86]     (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
velmora_install_windows_deps

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist
for arch in ${@:-x64 x86}; do
  case $arch in
  x64) toolchain=cmake/mingw-x86_64.cmake strip=x86_64-w64-mingw32-strip ;;
  x86) toolchain=cmake/mingw-i686.cmake strip=i686-w64-mingw32-strip ;;
  *) echo "usage: $0 [x64] [x86]" >&2; exit 2 ;;
  esac
  build=build-win-$arch
  [ -f "$build/CMakeCache.txt" ] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=OFF
  cmake --build "$build" --parallel "$(nproc)" --target Velmora velmora

  name=Velmora-$version-windows-$arch
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' EXIT
  mkdir "$stage/$name"
  "$strip" --strip-unneeded -o "$stage/$name/Velmora.aex" "$build/Velmora.aex"
  "$strip" --strip-unneeded -o "$stage/$name/velmora.exe" "$build/cli/velmora.exe"
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" packaging/windows/README.txt |
    sed 's/$/\r/' >"$stage/$name/README.txt"
  # The notices of what is linked in, as Debian ships them with the packages
  # the build used.
  mkdir "$stage/$name/licences"
  for notice in gcc-mingw-w64-base:gcc-runtime mingw-w64-common:mingw-w64-runtime-and-winpthreads \
                libz-mingw-w64:zlib; do
    sed 's/$/\r/' "/usr/share/doc/${notice%%:*}/copyright" >"$stage/$name/licences/${notice#*:}.txt"
  done
  rm -f "dist/$name.zip"
  (cd "$stage" && zip -qrX "$OLDPWD/dist/$name.zip" "$name")
  rm -rf "$stage"
  echo "dist/$name.zip"
done
