#!/usr/bin/env bash
# Fails on any C++ file of the project that clang-format would change: the house style is the
# one in .clang-format, and a file drifting from it shows up here rather than in a later diff.
# Usage: format_check.sh SOURCE_DIR
set -euo pipefail
ROOT=$1
FORMAT=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z $FORMAT ]]; then
    echo "clang-format is not installed (scripts/install-deps.sh installs it)"
    exit 1
fi
cd "$ROOT"
# Every C++ extension the layer check reads (tests/layer_check.sh), but the CMake templates.
names=()
for e in h hh hpp hxx c cc cpp cxx inl ipp tcc cppm ixx; do names+=(-o -name "*.$e"); done
mapfile -d '' files < <(find src tools tests bench fuzz -type f \( "${names[@]:1}" \) -print0)
report=$(mktemp)
trap 'rm -f "$report"' EXIT
# One run over all files: clang-format names each place it would change.
if "$FORMAT" --style=file --dry-run --Werror "${files[@]}" 2> "$report"; then exit 0; fi
grep -oE '^[^:]+:[0-9]+:[0-9]+: error' "$report" | cut -d: -f1 | sort -u |
    sed "s|^\(.*\)$|not formatted: \1 (run: $FORMAT -i \1)|"
grep -qE ': error' "$report" || cat "$report"
exit 1
