#!/usr/bin/env bash
# The CMake package at work on the bundled example, as a user of an
# installation meets it: korva installed from the Release build into a
# prefix of its own, the example project (examples/CMakeLists.txt) configured
# from a clean build folder with the mingw-w64 toolchain, built, and its test
# (korva_check) run; the translated program run under Wine as a French and
# as a German user. Then a changed data file and a changed program must be
# translated again, and a build without changes must do nothing.
# scripts/test runs it; the argument is the Release build (built already).
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/deps.sh
korva_packages=(cmake mingw-w64 wine wine64)
korva_i386_packages=()
korva_install_deps

release=${1:-build/release}
work=$(mktemp -d)
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
cleanup() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "cmake example: $*" >&2
  exit 1
}

cmake --install "$release" --prefix "$work/prefix" >/dev/null
# A copy of the example, whose data file and source are touched below.
cp -r examples "$work/src"
build="$work/build"
cmake -S "$work/src" -B "$build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" >"$work/build.log" || {
  cat "$work/build.log"
  fail "the first build failed"
}
(cd "$build" && ctest --output-on-failure)

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
# What a user whose locale is $1 sees of the program $2.
shown() {
  LC_ALL=$1 "$wine" "$build/$2" 2>>"$work/wine.log" | tr -d '\r'
}
expect() {
  local locale=$1 program=$2 expected=$3 got
  got=$(shown "$locale" "$program")
  if [ "$got" != "$(printf '%b' "$expected")" ]; then
    cat "$work/wine.log" >&2
    fail "$program as $locale shows:"$'\n'"$got"
  fi
  echo "$program as $locale:"
  printf '%s\n' "$got" | sed 's/^/  /'
}
expect fr_FR.UTF-8 example.3lang.exe \
  '&Fichier\n&Ouvrir...\n&Enregistrer\tCtrl+S\nEnregistrer &sous...\n&Quitter\nLe fichier a été enregistré.'
expect de_DE.UTF-8 example.3lang.exe \
  '&Datei\n&Öffnen...\n&Speichern\tStrg+S\nSpeichern &unter...\n&Beenden\nDie Datei wurde gespeichert.'
# The linker's file stays as it was: English for everyone.
expect fr_FR.UTF-8 example.exe \
  '&File\n&Open...\n&Save\tCtrl+S\nSave &as...\nE&xit\nThe file was saved.'

output="$build/example.3lang.exe"
# Whether a build runs korva (its command line, shown by -v) and rewrites
# the output; $1 says which is expected.
build_again() {
  local before log
  before=$(stat -c %.9Y "$output")
  log=$(cmake --build "$build" -v)
  local ran=no
  if grep -qF -- "--output=$output" <<<"$log"; then
    ran=yes
  fi
  [ "$(stat -c %.9Y "$output")" = "$before" ] || ran=$ran+written
  [ "$ran" = "$1" ] || fail "$2: expected korva to run: $1, got: $ran"$'\n'"$log"
  echo "$2: $([ "$1" = no ] && echo "nothing to do" || echo "translated again")"
}
build_again no "build without changes"
touch "$work/src/KORVA.DAT"
build_again yes+written "data file touched"
build_again no "build without changes"
touch "$work/src/example.c"
build_again yes+written "program source touched"
