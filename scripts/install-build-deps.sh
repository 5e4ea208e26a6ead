#!/bin/sh
# Checks for what building and testing cdb2bem needs and installs what is
# missing: as root with apt-get; otherwise it prints the one apt-get line to
# run (with sudo where there is one) and stops.
#
#   scripts/install-build-deps.sh PURPOSE...
#
#   build      cmake, g++, make: enough for `make demo`
#   test       build and GoogleTest: what `make test` needs to run; the tests
#              that read the outputs back with VTK or meshio, render the
#              manual page with groff, or inject system-call faults with
#              strace, are skipped without those (they say why), and a note
#              names them
#   test-full  test and those optional packages
#   package    build, dpkg-dev and file (CPack's .deb and its dependencies)
#   fuzz       clang and its libFuzzer and sanitizer runtimes
#   windows    build, MinGW-w64 (posix threads), 64-bit Wine and GoogleTest's
#              sources: the .exe, its zip and its tests under Wine
#   ci         all of the above, lintian, clang-format-14 and git
#
# Every package it installs or asks for is named with what it is for.
#
# Exit status: 0 when everything required is there (or was installed),
# 1 when something required is missing and cannot be installed, 2 for a
# bad argument.
set -eu

required=""   # Debian packages that are missing and needed
optional=""   # missing, wanted, not needed

# What each package is for, as the lists below show it.
reason() {
  case $1 in
    cmake) echo "configures and drives the build" ;;
    g++) echo "compiles the program (C++20)" ;;
    make) echo "runs the build steps" ;;
    libgtest-dev) echo "GoogleTest, which the unit and whole-run tests are written with" ;;
    python3-vtk9) echo "VTK for python: reads input.plt and the .vtu back in three tests" ;;
    python3-meshio) echo "meshio: reads the .vtu back in one test" ;;
    groff-base) echo "renders the manual page in its test and for the Windows zip" ;;
    strace) echo "injects failing system calls into whole runs in the fault tests" ;;
    dpkg-dev) echo "dpkg-shlibdeps, for the package's dependencies" ;;
    file) echo "used by CPack to find the binaries to strip" ;;
    clang) echo "the compiler of the fuzz targets" ;;
    libclang-rt-14-dev) echo "libFuzzer and the sanitizer runtimes for clang" ;;
    g++-mingw-w64-x86-64-posix) echo "cross-compiles cdb2bem.exe for Windows" ;;
    wine) echo "runs cdb2bem.exe in its tests" ;;
    wine64) echo "Wine's 64-bit loader, for the 64-bit cdb2bem.exe" ;;
    lintian) echo "checks the package" ;;
    clang-format-14) echo "checks the layout of the C++ sources" ;;
    git) echo "lists the tracked sources" ;;
    *) echo "" ;;
  esac
}
# One line per package: "  NAME  what it is for".
explain() {
  for package in "$@"; do
    printf '  %-19s %s\n' "$package" "$(reason "$package")"
  done
}

# has_command NAME, has_package NAME, has_python_module NAME: 0 when present.
has_command() { command -v "$1" >/dev/null 2>&1; }
has_package() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}
# The tests run /usr/bin/python3 (PYTHON3 names another, for checking this script).
python3=${PYTHON3:-/usr/bin/python3}
has_python_module() { [ -x "$python3" ] && "$python3" -c "import $1" >/dev/null 2>&1; }

# want KIND PACKAGE CHECK...: the package is missing when CHECK fails.
want() {
  kind=$1 package=$2
  shift 2
  if ! "$@"; then
    case " $required $optional " in *" $package "*) return 0 ;; esac
    if [ "$kind" = required ]; then required="$required $package"; else optional="$optional $package"; fi
  fi
}

want_build() {
  want required cmake has_command cmake
  want required g++ has_command g++
  want required make has_command make
}
want_test() {
  want_build
  want required libgtest-dev has_package libgtest-dev
  want "$1" python3-vtk9 has_python_module vtk
  want "$1" python3-meshio has_python_module meshio
  want "$1" groff-base has_command groff
  want "$1" strace has_command strace
}
want_package() {
  want_build
  want required dpkg-dev has_command dpkg-shlibdeps
  want required file has_command file
}
want_windows() {
  want_build
  want required g++-mingw-w64-x86-64-posix has_command x86_64-w64-mingw32-g++-posix
  want required wine has_package wine
  want required wine64 has_package wine64
  want required libgtest-dev has_package libgtest-dev
  want required groff-base has_command groff
}
want_fuzz() {
  want required clang has_command clang++
  want required libclang-rt-14-dev has_package libclang-rt-14-dev
}

[ $# -gt 0 ] || set -- build
for purpose in "$@"; do
  case $purpose in
    build) want_build ;;
    test) want_test optional ;;
    test-full) want_test required ;;
    package) want_package ;;
    fuzz) want_fuzz ;;
    windows) want_windows ;;
    ci) want_test required; want_package; want_fuzz; want_windows
        want required lintian has_command lintian
        want required clang-format-14 has_command clang-format-14; want required git has_command git ;;
    *) echo "install-build-deps.sh: unknown purpose '$purpose' (build, test, test-full, package, fuzz, windows, ci)" >&2
       exit 2 ;;
  esac
done

# Only what is required is installed; the optional packages are named.
# shellcheck disable=SC2086 # one word per package
note_optional() {
  [ -n "$optional" ] || return 0
  echo "note: a few tests are skipped without these (make test-full installs them):"
  explain $optional
}

[ -n "$required$optional" ] || exit 0

# apt-get's own chatter ("debconf: delaying package configuration ...") is
# kept, and shown only when apt-get fails.
quietly() {
  if said=$("$@" 2>&1); then
    return 0
  else
    status=$?
    printf '%s\n' "$said" >&2
    return $status
  fi
}

# How many packages apt-get would install for the arguments, dependencies
# included.
count_installs() {
  simulated=$(apt-get install -s --no-install-recommends "$@" 2>/dev/null) || simulated=""
  count=0
  while IFS= read -r line; do
    case $line in "Inst "*) count=$((count + 1)) ;; esac
  done <<EOF
$simulated
EOF
  echo "$count"
}

if [ -n "$required" ] && [ "$(id -u)" = 0 ] && has_command apt-get; then
  echo "installing:"
  explain $required
  export DEBIAN_FRONTEND=noninteractive
  quietly apt-get update -qq
  # With their dependencies they may be many: a minute of silence is announced.
  count=$(count_installs $required)
  if [ "$count" -gt 0 ]; then
    echo "installing $count packages with apt-get (this takes a minute)..."
  fi
  quietly apt-get install -y -qq --no-install-recommends $required
  note_optional
  exit 0
fi

if [ -n "$required" ]; then
  {
    echo "cdb2bem: missing build dependencies:"
    explain $required
    if has_command apt-get; then
      echo "Install them, then run the same command again:"
      if has_command sudo; then
        echo "  sudo apt-get install --no-install-recommends${required}"
      else
        echo "  as root: apt-get install --no-install-recommends${required}"
      fi
    else
      echo "Install them with your system's package manager (Debian names given)."
    fi
  } >&2
  exit 1
fi
note_optional
