#!/bin/sh
# Makes BUILD/cdb2bem-<version>-win64.zip from the cross-built BUILD/cdb2bem.exe
# (`make windows-package`): one folder holding the program, the README, the
# licence, the manual as plain text and the example model. Texts get CR LF
# line ends, as Windows editors show them; the model is copied as it is.
#
#   scripts/package-windows.sh [BUILD]      (default: build-windows)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-windows}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows.sh: no version in $build/CMakeCache.txt" >&2; exit 1; }
name=cdb2bem-$version-win64
stage=$build/package/$name
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage/examples"

with_crlf() { sed 's/\r*$/\r/'; }

cp "$build/cdb2bem.exe" "$stage/cdb2bem.exe"
x86_64-w64-mingw32-strip "$stage/cdb2bem.exe"
# The zip's README is for Windows: unzipping, running, PATH, the example.
with_crlf <doc/README-windows.md >"$stage/README.md"
if [ -f LICENSE ]; then with_crlf <LICENSE >"$stage/LICENSE.txt"; fi
# The manual page rendered as text, without overstriking or escapes.
groff -man -Tutf8 -P-cbou "$build/cdb2bem.1" | with_crlf >"$stage/cdb2bem-manual.txt"
cp examples/ANSYS_Model.cdb "$stage/examples/ANSYS_Model.cdb"
with_crlf <examples/README.md >"$stage/examples/README.md"

# Entries in a fixed order, for the same zip from the same files.
(cd "$build/package" && find "$name" -type f | LC_ALL=C sort >files.txt &&
  cmake -E tar cf "../$name.zip" --format=zip --files-from=files.txt)
echo "$build/$name.zip"
