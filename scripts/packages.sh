# The Debian packages of every workflow, in one place, sourced by the scripts (scripts/test,
# scripts/demo, bench/run, .ci/run and its steps). First the named lists, one for each thing a
# workflow does, named SCRIVLET_<WHAT>_PACKAGES; then ensure_packages, which installs what a list
# holds and is not installed yet.
# shellcheck shell=bash disable=SC2034  # the lists are read by the scripts that source this file

# The compiler and the build tools: every build.
SCRIVLET_BUILD_PACKAGES=(cmake ninja-build g++)
# The command-line host's own: CLI11 for its arguments, nlohmann-json for its JSON.
SCRIVLET_TOOL_PACKAGES=(libcli11-dev nlohmann-json3-dev)
# What the default preset builds beyond the library: the tests (GoogleTest; Python and pkg-config
# for the hosts of the C interface and of the installed package; pytest for the Python package)
# and the command-line host that they run. The Windows cross builds build GoogleTest from these
# sources too.
SCRIVLET_TEST_PACKAGES=(libgtest-dev libgmock-dev python3 python3-pytest pkg-config
  "${SCRIVLET_TOOL_PACKAGES[@]}" libspdlog-dev)
# `pip install ./bindings/python` offline (.ci/steps/45-python.sh): pip, and setuptools to build.
SCRIVLET_PYTHON_PACKAGES=(python3-pip python3-setuptools)
# The collector of the shipping test (cli.shipping): rsyslog, started by the test on a loopback
# port with a configuration of its own, fed through logger (bsdutils). Installed by .ci/run; the
# test is skipped where rsyslogd is missing outside CI.
SCRIVLET_COLLECTOR_PACKAGES=(rsyslog bsdutils)
# The format check of .ci/steps/10-format.sh.
SCRIVLET_FORMAT_PACKAGES=(clang-format)
# The docs check (scripts/check-docs): a Markdown parser for the links, headings and code spans, and
# a C compiler and pkg-config for the README's examples.
SCRIVLET_DOCS_PACKAGES=(python3-markdown-it pkg-config gcc)
# The benchmark's peer (spdlog), its instruction counts (valgrind) and its charts (gnuplot);
# bench/run leaves those out without them.
SCRIVLET_BENCH_PACKAGES=(libspdlog-dev valgrind gnuplot-nox)
# The pipe loggers that `scrivlet write` is measured against in bench/run's pipe table: s6-log,
# multilog and rotatelogs; bench/run leaves out those that are missing.
SCRIVLET_PIPE_PEER_PACKAGES=(s6 daemontools apache2-utils)
# The Debian packages (scripts/package-deb): dpkg-dev (dpkg-shlibdeps, dpkg-buildflags,
# dpkg-parsechangelog), file and binutils (strip) to build them; lintian to check them, and the
# man page and completion that the installed packages are checked for (man-db, bash-completion)
# (.ci/steps/40-deb.sh).
SCRIVLET_DEB_PACKAGES=(dpkg-dev file binutils lintian man-db bash-completion)
# The Windows cross builds (32- and 64-bit MinGW-w64) and Wine for their test suites, 64-bit and
# 32-bit (wine32 of the i386 architecture, which ensure_packages adds) (.ci/steps/50-windows.sh).
SCRIVLET_WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 wine32:i386)
# What the DLL in the MSVC C++ ABI needs (presets msvc-x86, msvc-x64; .ci/steps/55-msvc.sh): LLVM's
# clang-cl, lld-link, llvm-lib, llvm-dlltool and llvm-undname, MinGW-w64's Windows headers, and
# Wine to run the test hosts of both architectures; with the MinGW ones, what the Windows zips and
# the hosts built from them need (.ci/steps/58-windows-zip.sh).
SCRIVLET_MSVC_PACKAGES=(cmake ninja-build clang-14 clang-tools-14 lld-14 llvm-14 mingw-w64-common wine64
  wine32:i386)
# The libFuzzer targets: clang and its sanitizer runtimes (.ci/steps/60-fuzz.sh).
SCRIVLET_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

# ensure_packages [--optional] PACKAGE...
# Returns 0 when every package is installed, after installing the missing ones when run as root
# with apt-get (with an apt-get update and a second try when the first fails; a package of the
# i386 architecture, NAME:i386, adds that architecture to dpkg first). Otherwise it names
# the missing packages and returns 1: as the ones to install first, or with --optional as the ones
# the caller goes on without. Where dpkg is not at hand it cannot tell, says so and returns 0.
# No package at all is a mistake (a misspelt list expands to nothing) and returns 1.
ensure_packages() {
  local optional=0
  if [ "${1:-}" = --optional ]; then
    optional=1
    shift
  fi
  if [ "$#" -eq 0 ]; then
    echo "ensure_packages: no packages named (a misspelt list?)" >&2
    return 1
  fi
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "no dpkg here: cannot check for ${*}; going on" >&2
    return 0
  fi
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "${package}" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("${package}")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386 && apt-get update >/dev/null
    fi
    if apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
      { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }; then
      return 0
    fi
    echo "could not install ${missing[*]}" >&2
  elif [ "${optional}" -eq 1 ]; then
    echo "not installed: ${missing[*]} (install them, or run as root)" >&2
  else
    echo "missing packages; install them first: sudo apt-get install ${missing[*]}" >&2
  fi
  return 1
}
