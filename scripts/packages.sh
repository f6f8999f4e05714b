# Sourced by the scripts: ensure_packages PACKAGE... installs the Debian packages that are
# missing (as root, with apt-get), or says which to install and fails.
ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "${package}" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("${package}")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
  else
    echo "missing packages; install them first: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}

# What the default build and its tests need.
SCRIVLET_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev pkg-config python3 libcli11-dev)

# What the DLL in the MSVC C++ ABI needs (presets msvc-x86, msvc-x64; .ci/steps/55-msvc.sh): LLVM's
# clang-cl, lld-link, llvm-lib, llvm-dlltool and llvm-undname, MinGW-w64's Windows headers, and
# Wine to run the 64-bit test hosts.
SCRIVLET_MSVC_PACKAGES=(cmake ninja-build clang-14 clang-tools-14 lld-14 llvm-14 mingw-w64-common wine64)
