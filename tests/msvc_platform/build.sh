#!/usr/bin/env bash
# Builds the stand-in platform in the Microsoft C++ ABI, 64- and 32-bit:
#   tests/msvc_platform/build.sh [OUTPUT_DIR]   (default build/msvc_platform)
# then, under Wine, with the DLL of the same architecture:
#   wine OUTPUT_DIR/stand_in_platform_x64.exe build/win64/zorvane.dll
#   wine OUTPUT_DIR/stand_in_platform_x86.exe build/win32/zorvane.dll
# Needs clang and lld-link (any recent LLVM) and MinGW-w64's import libraries;
# no Windows SDK and no C runtime: the program declares the few system
# functions it calls, and the interface header is compiled as Microsoft's
# compiler sees it (include/ stands in for the C++ library headers it names).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/build/msvc_platform}
CLANG=${CLANG:-clang++}
LLD_LINK=${LLD_LINK:-lld-link}
MINGW_INCLUDE=${MINGW_INCLUDE:-/usr/share/mingw-w64/include}
mkdir -p "$out"

build() {  # clang target, MinGW triple, lld-link machine, output suffix, link options
  local target=$1 triple=$2 machine=$3 suffix=$4 options=${5:-}
  local libs=${MINGW_LIBS:-/usr/$triple/lib}
  "$CLANG" --target="$target" -std=c++20 -O2 -Wall -Wextra \
    -ffreestanding -fno-exceptions -fno-rtti -fno-builtin -nostdinc++ \
    -isystem "$here/include" -isystem "$MINGW_INCLUDE" -I "$root/src" \
    -c "$here/stand_in_platform.cpp" -o "$out/stand_in_platform_$suffix.obj"
  "$LLD_LINK" /nologo /nodefaultlib /machine:"$machine" /subsystem:console \
    /entry:PlatformStart $options /out:"$out/stand_in_platform_$suffix.exe" \
    "$out/stand_in_platform_$suffix.obj" "$libs/libkernel32.a" "$libs/libshell32.a"
}

build x86_64-pc-windows-msvc x86_64-w64-mingw32 x64 x64
# MinGW's import libraries carry no safe exception handler table.
build i686-pc-windows-msvc i686-w64-mingw32 x86 x86 /safeseh:no
echo "$out/stand_in_platform_x64.exe"
echo "$out/stand_in_platform_x86.exe"
