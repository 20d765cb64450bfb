#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds a tiny consumer against it twice:
# through the exported CMake package and through pkg-config; then checks what the libraries export.
# Usage: check_package.sh <build-dir> <source-dir> <extra compile/link flags>
set -euo pipefail
build=$1 source=$2 flags=${3:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
export LD_LIBRARY_PATH="$scratch/prefix/lib:$scratch/prefix/lib64:${LD_LIBRARY_PATH:-}"

cmake -S "$source/tests/package/consumer" -B "$scratch/cmake" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$scratch/cmake" >/dev/null
"$scratch/cmake/consumer"

pcdir=$(dirname "$(find "$scratch/prefix" -name internal-tavo-vm-api.pc | head -n1)")
# shellcheck disable=SC2046,SC2086
c++ $flags "$source/tests/package/consumer/main.cpp" -o "$scratch/consumer-pc" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs internal-tavo-vm-api quil-remote)
"$scratch/consumer-pc"

# What each installed library exports, and its SONAME.
"$source/tests/package/check_symbols.sh" "$(dirname "$pcdir")"
