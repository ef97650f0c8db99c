#!/usr/bin/env bash
# Checks every #include under src/ and tools/ against the table of allowed layer edges in
# tests/layers.txt: an include of another layer's header ("calc/CalcEx.h") must name a layer
# the including folder may use, and an outside library (Qt, sd-bus) must be one it may use.
# A folder missing from the table fails too, so a new layer is placed on purpose.
#
#   tests/layer_check.sh [ROOT]      ROOT: the source tree (default: this repository)
#
# Prints one line per offending include and exits 1 when there is any.
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
TABLE="$ROOT/tests/layers.txt"
[[ -r $TABLE ]] || { echo "layer_check: no table $TABLE" >&2; exit 2; }

declare -A USES OUTSIDE
while read -r -a fields; do
  ((${#fields[@]})) || continue
  [[ ${fields[0]} == \#* ]] && continue
  if ((${#fields[@]} < 3)); then
    echo "layer_check: a line of $TABLE needs a folder, its uses and its outside libraries" >&2
    exit 2
  fi
  folder=${fields[0]}
  outside=${fields[-1]}
  uses=" ${fields[*]:1:${#fields[@]}-2} "
  USES[$folder]=${uses// - / }
  OUTSIDE[$folder]=",${outside},"
done < "$TABLE"

LAYERS=" $(awk '!/^#/ && NF { sub(/^src\//, "", $1); if ($1 !~ /\//) print $1 }' "$TABLE" | tr '\n' ' ') "

bad=0
report() { echo "$1: $2"; bad=1; }

cd "$ROOT"
while IFS= read -r file; do
  folder=${file%/*}
  # A file in a subfolder of a layer belongs to the layer (src/app/help, tools/x/y), unless
  # the table gives the subfolder a line of its own (tools/ovtool/catalogue).
  if [[ -z ${USES[$folder]+x} ]]; then
    if [[ $folder == src/*/* ]]; then folder=src/$(cut -d/ -f2 <<<"$folder"); fi
    if [[ $folder == tools/*/* ]]; then folder=tools/$(cut -d/ -f2 <<<"$folder"); fi
  fi
  if [[ -z ${USES[$folder]+x} ]]; then
    report "$file" "folder $folder is not in tests/layers.txt"
    continue
  fi
  own=${folder#src/}
  while IFS= read -r line; do
    if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      target=${BASH_REMATCH[1]}
      [[ $target == */* ]] || continue          # a header of the same folder
      layer=${target%%/*}
      [[ $layer == "$own" ]] && continue
      if [[ $LAYERS != *" $layer "* ]]; then
        # Not a layer path: a header relative to the including file's folder.
        [[ -e $(dirname "$file")/$target ]] && continue
        report "$file" "includes \"$target\", which is no layer's header"
      elif [[ ${USES[$folder]} != *" $layer "* ]]; then
        report "$file" "includes \"$target\": $folder may not use $layer"
      fi
    elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
      target=${BASH_REMATCH[1]}
      kind=std
      if [[ $target =~ ^Q[A-Za-z]*(/|$) || $target =~ ^Qt ]]; then kind=qt
      elif [[ $target == systemd/* ]]; then kind=sdbus
      fi
      if [[ ${OUTSIDE[$folder]} != *",$kind,"* ]]; then
        report "$file" "includes <$target>: $folder may not use $kind"
      fi
    fi
  done < "$file"
done < <(find src tools -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) | sort)

if ((bad)); then
  echo "layer_check: includes against the layers of tests/layers.txt (see ARCHITECTURE.md)"
  exit 1
fi
echo "layer_check: every include keeps to its layers"
