#!/usr/bin/env bash
# korva_localize() and korva_check() on a project (project/) whose korva and
# korva-dat are stand-ins that log their arguments (fake_korva.sh): the
# command lines the rules and tests run, which exit codes pass the build and
# the tests, and when the rule runs again.
# Usage: cmake_functions_test.sh KorvaFunctions.cmake WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
functions=$1
work=$2

rm -rf "$work"
mkdir -p "$work/bin"
cp -r "$here/project" "$work/src"
printf '(\r\nENGLISH,"Open"\r\n)\r\n' >"$work/src/KORVA.DAT"
cp "$here/fake_korva.sh" "$work/bin/korva"
src="$work/src"
build="$work/build"
calls="$work/bin/calls.log"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
build() {
  cmake --build "$build" "$@" >"$work/build.log" 2>&1
}
runs() {
  wc -l <"$calls"
}
# The one logged call whose last argument is $1, against $2.
expect_call() {
  local found
  found=$(grep -F -- " | $1" "$calls" | grep -F -x -- "$2") || true
  [ -n "$found" ] || fail "no call"$'\n'"  $2"$'\n'"among"$'\n'"$(cat "$calls")"
}

cmake -S "$src" -B "$build" -DFAKE_KORVA="$work/bin/korva" -DKORVA_FUNCTIONS="$functions" \
  >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log"
  fail "configure"
}
build || fail "first build: $(cat "$work/build.log")"

# Every way of writing the destination list gives korva one argument.
data="--data=$src/KORVA.DAT"
for name in listed bracketed quoted spaced variable; do
  expect_call "$build/$name" \
    "$data | --output=$build/$name.3lang | ENGLISH | (ENGLISH,FRENCH,GERMAN) | $build/$name"
  [ -f "$build/$name.3lang" ] || fail "$name.3lang not built"
done
program="$build/with options.exe"
expect_call "$program" "-Q | --resources=menus,dialogs | --fallback=ENGLISH | $data |\
 --output=$build/with options.2lang.exe | ENGLISH | (ENGLISH,pt-BR) | $program"
expect_call "$program" "$data | --output=$build/sub/dir/one.exe | ENGLISH | (ENGLISH) | $program"
[ "$(runs)" -eq 7 ] || fail "7 rules, $(runs) runs"

# korva-dat check with the targets' files; exit code 1 fails only the
# strict test.
ctest_passes() {
  (cd "$build" && ctest -R "^$1\$" >"$work/ctest.log" 2>&1)
}
for code in 0 1 2; do
  echo "$code" >"$work/bin/exit_code"
  for test in strict lenient; do
    expected=fail
    if [ "$code" = 0 ] || { [ "$code" = 1 ] && [ "$test" = lenient ]; }; then
      expected=pass
    fi
    got=fail
    ctest_passes "$test" && got=pass
    [ "$got" = "$expected" ] || fail "test $test with exit code $code: $got"
  done
done
expect_call "$program" "check | --resources=all | $src/KORVA.DAT | ENGLISH | (ENGLISH,FRENCH) |\
 $build/listed | $program"
expect_call "$build/listed" "check | $src/KORVA.DAT | $build/listed"

# What runs korva again: nothing changed, nothing runs; the data file, korva
# or a program changed, or an output gone, its rules run.
: >"$calls"
echo 0 >"$work/bin/exit_code"
build && [ "$(runs)" -eq 0 ] || fail "a build without changes ran korva $(runs) times"
for changed in "$src/KORVA.DAT" "$work/bin/korva" "$src/main.c"; do
  : >"$calls"
  touch "$changed"
  build && [ "$(runs)" -eq 7 ] || fail "after touching $changed: $(runs) runs"
done
: >"$calls"
rm "$build/sub/dir/one.exe"
build && [ "$(runs)" -eq 1 ] && [ -f "$build/sub/dir/one.exe" ] || fail "one.exe not made again"

# Exit code 1 keeps the output (written, the translation incomplete) and the
# build going; any other failure fails the build and leaves no output.
echo 1 >"$work/bin/exit_code"
touch "$src/KORVA.DAT"
build || fail "exit code 1 failed the build: $(cat "$work/build.log")"
[ -f "$build/listed.3lang" ] || fail "exit code 1 removed the output"
echo 2 >"$work/bin/exit_code"
touch "$src/KORVA.DAT"
if build --target listed_localized; then
  fail "exit code 2 passed the build"
fi
grep -q "korva failed (exit code 2)" "$work/build.log" || fail "$(cat "$work/build.log")"
[ ! -e "$build/listed.3lang" ] || fail "a failed run left its output"
echo 0 >"$work/bin/exit_code"
build --target listed_localized && [ -f "$build/listed.3lang" ] || fail "no run after the failure"
echo "korva_localize and korva_check: all checks passed"
