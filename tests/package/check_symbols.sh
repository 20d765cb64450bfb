#!/usr/bin/env bash
# Compares what each installed library exports with the checked-in list beside this script, so that
# an accidental export or a lost one fails the build, and checks every SONAME.
#
# A list holds the strong dynamic symbols (functions and data) of the project's namespaces,
# demangled. Weak symbols are left out: they are instances of templates and inline functions, which
# differ with the optimisation level and the compiler; so are vtables and type information, which
# one compiler makes weak and another strong.
# Usage: check_symbols.sh <lib-dir>; TAVO_UPDATE_SYMBOLS=1 rewrites the lists instead.
set -euo pipefail
libdir=$1
lists=$(dirname "$0")/symbols
status=0

exported() {
  nm -DC --defined-only "$1" | awk '$2 ~ /^[TDBR]$/' | cut -d' ' -f3- |
    grep -E '^(Quil|Com::Korvan|Tavo)::' | LC_ALL=C sort -u
}

found=()
for library in "$libdir"/lib*.so.0; do
  name=$(basename "$library" .so.0)
  found+=("$name")
  soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
  if [[ "$soname" != "$name.so.0" ]]; then
    echo "$name: SONAME is '$soname', expected '$name.so.0'" >&2
    status=1
  fi
  if [[ "${TAVO_UPDATE_SYMBOLS:-}" == 1 ]]; then
    exported "$library" > "$lists/$name.txt"
  elif ! diff -u --label "$name (expected)" --label "$name (built)" "$lists/$name.txt" \
         <(exported "$library") >&2; then
    echo "$name: the exported symbols changed; if on purpose, rerun with TAVO_UPDATE_SYMBOLS=1" >&2
    status=1
  fi
done
for list in "$lists"/*.txt; do
  name=$(basename "$list" .txt)
  if [[ " ${found[*]} " != *" $name "* ]]; then
    echo "$name: listed but not installed" >&2
    status=1
  fi
done
exit $status
