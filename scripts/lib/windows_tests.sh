#!/usr/bin/env bash
# The Windows build from the same sources: korva.exe, korva-dat.exe and the
# tests cross-built with mingw-w64 for x86_64 and i686, and run under Wine
# (the unit tests, the platform seam's, and the end-to-end tests that run
# korva.exe and korva-dat.exe on a real program). scripts/test runs it after
# installing what it needs (scripts/lib/deps.sh); the argument is the number
# of parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=${1:-$(nproc)}

# One Wine prefix for both builds: making one takes a while, and a 64-bit
# prefix runs 32-bit programs too.
prefix="$PWD/build/win-wineprefix"
for arch in x64 x86; do
  cmake --preset "windows-$arch" -DKORVA_WERROR=ON -DKORVA_TEST_WINEPREFIX="$prefix" >/dev/null
  cmake --build --preset "windows-$arch" -j "$jobs"
  # A test fails once in a while for Wine's own reasons on a loaded machine
  # ("wine client error: recvmsg: Connection reset by peer", the server
  # gone): such a test runs once more, and one that fails twice fails.
  ctest --preset "windows-$arch" -j "$jobs" --repeat until-pass:2
done
