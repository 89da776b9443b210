# Debian packages the build and the tests need; installed when missing.
# llvm (llvm-rc, llvm-readobj), lld (lld-link) and mingw-w64 build and check
# the PE fixtures at test time; python3-pefile is a second reader that checks
# rewritten images, and Wine runs them.
korva_packages=(cmake g++ clang lld llvm libgtest-dev mingw-w64
                python3-pefile wine)

korva_install_deps() {
  local missing=()
  for p in "${korva_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}
