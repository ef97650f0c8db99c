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
bad=0
while IFS= read -r -d '' file; do
    if ! "$FORMAT" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not formatted: $file (run: $FORMAT -i $file)"
        bad=1
    fi
done < <(find src tools tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
exit $bad
