# Debian packages the build and the tests need; installed when missing.
# llvm (llvm-rc, llvm-readobj, llvm-dlltool), lld (lld-link) and mingw-w64
# build and check the PE fixtures at test time; python3-pefile is a second
# reader that checks rewritten images, and Wine runs them. libclang-rt-14-dev
# holds libFuzzer and the sanitizer runtimes, which clang only recommends.
# gettext's msgfmt and msgcat check and rewrap korva-dat's PO files, and
# python3-polib edits them as translators' tools do. The Windows build is
# made with mingw-w64 and tested under Wine, with GoogleTest built from the
# sources in googletest (no Windows build of it is packaged). clang-format
# and clang-tidy hold the code to its format and lint.
korva_packages=(cmake g++ unicode-data libxxhash-dev clang libclang-rt-14-dev lld llvm libgtest-dev googletest
                mingw-w64 python3-pefile wine wine64 gettext python3-polib clang-format clang-tidy)
korva_packages+=(libicu-dev) # ICU's own Windows language ids check the table of language tags
# The demo builds the tools and the example with clang's lld and llvm-rc,
# and lists the result with llvm-readobj; nothing else.
korva_demo_packages=(cmake g++ unicode-data libxxhash-dev lld llvm python3)
# scripts/package: the Debian package (dpkg-dev for its build flags and
# dpkg-shlibdeps, lintian to check it) and the Windows zips.
korva_package_packages=(cmake g++ unicode-data libxxhash-dev mingw-w64 dpkg-dev lintian)
# Wine runs 32-bit programs with its 32-bit loader, from the i386
# architecture, which a fresh amd64 machine does not enable.
korva_i386_packages=(wine32:i386)

korva_is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}

korva_install_deps() {
  local missing=() p
  for p in "${korva_packages[@]}"; do
    korva_is_installed "$p" || missing+=("$p")
  done
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if [ "$(dpkg --print-architecture)" = amd64 ]; then
    for p in "${korva_i386_packages[@]}"; do
      korva_is_installed "$p" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo dpkg --add-architecture i386
    fi
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}
