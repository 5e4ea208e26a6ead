#!/bin/sh
# Checks `make install` (DESTDIR and PREFIX honoured), then builds the Debian
# package and checks it as an installer would see it: its contents, the
# extracted program translating the bundled example the same way as the
# program built here, and lintian (when installed) without errors.
set -eu
cd "$(dirname "$0")/.."

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

make install DESTDIR="$scratch/staged" PREFIX=/opt/cdb2bem >/dev/null
for file in bin/cdb2bem share/man/man1/cdb2bem.1.gz share/doc/cdb2bem/README.md \
            share/doc/cdb2bem/examples/ANSYS_Model.cdb; do
  [ -f "$scratch/staged/opt/cdb2bem/$file" ] || { echo "make install left out $file" >&2; exit 1; }
done
# The manual names the places of this installation.
gzip -dc "$scratch/staged/opt/cdb2bem/share/man/man1/cdb2bem.1.gz" |
  grep -q '^\.I "/opt/cdb2bem/share/doc/cdb2bem/copyright"$' ||
  { echo "the installed manual does not name /opt/cdb2bem/share/doc/cdb2bem/copyright" >&2; exit 1; }
echo "== make install DESTDIR=... PREFIX=/opt/cdb2bem installs the program, manual and documents"
make uninstall DESTDIR="$scratch/staged" PREFIX=/opt/cdb2bem >/dev/null
left=$(find "$scratch/staged" -type f)
[ -z "$left" ] || { echo "make uninstall left $left" >&2; exit 1; }
echo "== make uninstall removes them"

make package
deb=$(ls build/cdb2bem_*.deb)
echo "== contents of $deb"
dpkg-deb -c "$deb"

maintainer=$(dpkg-deb -f "$deb" Maintainer)
case $maintainer in
  "cdb2bem authors <"*@*">") echo "== maintainer: $maintainer" ;;
  *) echo "the package's maintainer is '$maintainer', not cdb2bem authors <ADDRESS>" >&2; exit 1 ;;
esac

dpkg-deb -x "$deb" "$scratch/root"
# The licence's full text, in Debian's machine-readable form.
grep -q '^License: Expat$' "$scratch/root/usr/share/doc/cdb2bem/copyright" &&
  grep -q 'Permission is hereby granted, free of charge' "$scratch/root/usr/share/doc/cdb2bem/copyright" ||
  { echo "the package's copyright file does not carry the MIT licence" >&2; exit 1; }
program="$scratch/root/usr/bin/cdb2bem"
"$program" --version
for who in packaged built; do
  mkdir "$scratch/$who"
  cp "$scratch/root/usr/share/doc/cdb2bem/examples/ANSYS_Model.cdb" "$scratch/$who/"
done
"$program" -C "$scratch/packaged"
build/cdb2bem -C "$scratch/built" >/dev/null
cmp "$scratch/packaged/input.plt" "$scratch/built/input.plt"
# input.dat differs at most in the date of its title record.
cmp -s "$scratch/packaged/input.dat" "$scratch/built/input.dat" ||
  [ "$(tail -n +2 "$scratch/packaged/input.dat" | md5sum)" = "$(tail -n +2 "$scratch/built/input.dat" | md5sum)" ]
gzip -dc "$scratch/root/usr/share/man/man1/cdb2bem.1.gz" |
  grep -q '^\.I "/usr/share/doc/cdb2bem/copyright"$' ||
  { echo "the packaged manual does not name /usr/share/doc/cdb2bem/copyright" >&2; exit 1; }
if command -v groff >/dev/null 2>&1; then
  warnings=$(gzip -dc "$scratch/root/usr/share/man/man1/cdb2bem.1.gz" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || { echo "$warnings" >&2; exit 1; }
fi
echo "== the packaged program translates the example as the built one does"

if command -v lintian >/dev/null 2>&1; then
  echo "== lintian"
  lintian --fail-on error --info "$deb"
else
  echo "== lintian is not installed; package not linted"
fi
