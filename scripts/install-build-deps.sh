#!/bin/sh
# Checks for what building and testing cdb2bem needs and installs what is
# missing: as root with apt-get; otherwise it prints the one apt-get line to
# run and stops.
#
#   scripts/install-build-deps.sh PURPOSE...
#
#   build     cmake, g++, make: enough for `make demo`
#   test      build, GoogleTest; optional: VTK's and meshio's python modules, groff and
#             strace, without which a few tests are skipped (they say why)
#   package   build, dpkg-dev and file (CPack's .deb and its dependencies)
#   fuzz      clang and its libFuzzer and sanitizer runtimes
#   ci        all of the above, the optional ones, lintian, clang-format-14
#             and git required
#
# Exit status: 0 when everything required is there (or was installed),
# 1 when something required is missing and cannot be installed, 2 for a
# bad argument.
set -eu

required=""   # Debian packages that are missing and needed
optional=""   # missing, wanted, not needed

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
want_fuzz() {
  want required clang has_command clang++
  want required libclang-rt-14-dev has_package libclang-rt-14-dev
}

[ $# -gt 0 ] || set -- build
for purpose in "$@"; do
  case $purpose in
    build) want_build ;;
    test) want_test optional ;;
    package) want_package ;;
    fuzz) want_fuzz ;;
    ci) want_test required; want_package; want_fuzz; want required lintian has_command lintian
        want required clang-format-14 has_command clang-format-14; want required git has_command git ;;
    *) echo "install-build-deps.sh: unknown purpose '$purpose' (build, test, package, fuzz, ci)" >&2
       exit 2 ;;
  esac
done

missing="${required# }${optional:+ }${optional# }"
[ -n "$missing" ] || exit 0

if [ "$(id -u)" = 0 ] && has_command apt-get; then
  echo "installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086 # one word per package
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
  exit 0
fi

if [ -n "$required" ]; then
  echo "cdb2bem: missing build dependencies:$required" >&2
  if has_command apt-get; then
    echo "Install them, then run the same command again:" >&2
    echo "  sudo apt-get install $missing" >&2
  else
    echo "Install them with your system's package manager (Debian names given)." >&2
  fi
  exit 1
fi
echo "note: tests that need$optional are skipped; to run them: sudo apt-get install$optional"
