#!/bin/sh
# Translates a model in a fresh scratch directory and tells what came of it:
#   scripts/demo.sh PROGRAM MODEL DIR
set -eu
program=$1 model=$2 dir=$3

rm -rf "$dir"
mkdir -p "$dir"
cp "$model" "$dir/ANSYS_Model.cdb"
dir=$(cd "$dir" && pwd)
echo "\$ $program -C $dir"
"$program" -C "$dir"
echo

# What input.dat holds: the counts line (its third number stays 0 even when
# field points follow), one record per triangle with three condition kinds
# (1 displacement, 2 traction) and three values, then the field data.
awk '
  NR == 3 { triangles = $1; nodes = $2 }
  /^ \$ / { section = $0; next }
  section ~ /Elements/ {
    kinds = $5 $6 $7
    if (kinds ~ /1/) displaced++
    for (i = 8; i <= 10; i++) {
      v = $i
      gsub(/D/, "E", v)
      if ($(i - 3) == 2 && v + 0 != 0) { loaded++; break }
    }
  }
  section ~ /Field Points/ { points++ }
  section ~ /Field Cells/ { cells++ }
  END {
    printf "Translated %s into:\n", model
    printf "  %s/input.dat  the solver input file:\n", dir
    printf "      %d nodes, %d triangles (each quadrilateral cut in two)\n", nodes, triangles
    printf "      %d triangles with a displacement prescribed, %d with a traction that is not zero\n", displaced, loaded
    printf "      %d field points, %d field cells\n", points, cells
  }' model="$model" dir="$dir" "$dir/input.dat"
echo "  $dir/input.plt  the plot file (Tecplot ASCII):"
echo '      zone "Model", the triangles of the surface'
if grep -q 'T="Field Points"' "$dir/input.plt"; then
  echo '      zone "Field Points", the field points and cells'
fi
echo
echo "To look at the mesh, open input.plt in ParaView (it reads Tecplot files) or any"
echo "Tecplot reader, for instance:  paraview $dir/input.plt"
echo
echo "To install cdb2bem (the program, its manual page and this example):"
echo "  sudo make install                  # under /usr/local; PREFIX=... for elsewhere"
echo "  or: make package && sudo apt install ./build/cdb2bem_*.deb"
echo "To translate your own model, name the file ANSYS wrote (input.dat and"
echo "input.plt are written beside it):"
echo "  cdb2bem path/to/jobname.cdb        # once installed"
echo "  $program path/to/jobname.cdb"
echo "  cdb2bem --check path/to/jobname.cdb   # report on the model; writes nothing"
echo "Then: man cdb2bem  (before installing: man -l doc/cdb2bem.1)"
