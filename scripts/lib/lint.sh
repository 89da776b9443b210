#!/usr/bin/env bash
# Holds the code to its own format (.clang-format) and lint (.clang-tidy):
# any difference or finding fails. The argument is a build directory with a
# compile_commands.json of the host build; clang-tidy reads it for flags.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:?usage: scripts/lib/lint.sh BUILD_DIR}

git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

# The Windows side of the platform seam needs the mingw-w64 headers, which
# the host build's flags do not name; the compiler's own warnings hold it.
run-clang-tidy -p "$build" -quiet -j "$(nproc)" \
  -extra-arg=-Wno-unknown-warning-option "$PWD/src/(?!platform/windows/).*\.cpp$"
