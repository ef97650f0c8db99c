#!/usr/bin/env bash
# The manual pages: each renders without a single warning, from groff (-ww) and from man, has
# the sections a reader looks for, and names every option that its program's --help names
# (ovtool's and ovclient's: of every command too), so that a page cannot fall behind its
# program.
#   man_pages_test.sh MANDIR BINDIR     (MANDIR: the configured pages; BINDIR: the programs)
set -uo pipefail
MAN=$1 BIN=$2
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "man_pages: FAILED: $*"; failures=$((failures + 1)); }

# The long options a help text names ("--app-id"), each once.
options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }

pages=0
for page in "$MAN"/*.1; do
  [[ -e $page ]] || continue
  pages=$((pages + 1))
  name=$(basename "$page" .1)
  err=$(groff -man -Tutf8 -ww -z "$page" 2>&1 >/dev/null)
  [[ -z $err ]] || fail "$name: groff -ww: $err"
  if command -v man >/dev/null; then
    for width in 80 120; do
      err=$(MANWIDTH=$width man --warnings=all -l "$page" 2>&1 >/dev/null)
      [[ -z $err ]] || fail "$name: man -l at $width columns: $err"
    done
  fi
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT '"EXIT STATUS"' EXAMPLES \
                 '"SEE ALSO"'; do
    grep -qxF ".SH $section" "$page" || fail "$name: no section $section"
  done
  grep -q '@[A-Z_]*@' "$page" && fail "$name: a placeholder was not filled in"

  # The options of the program's help, and of its commands' helps, in roff ("\-\-app\-id").
  program=$BIN/$name
  if [[ ! -x $program ]]; then
    echo "man_pages: $name: no program in $BIN, its options not compared"
    continue
  fi
  helps=$("$program" --help 2>&1) || fail "$name --help failed"
  commands=()
  case $name in
    ovtool) mapfile -t commands < <(sed -n '/^Commands:/,/^$/p' <<<"$helps" | awk 'NF>1 { print $1 }') ;;
    ovclient) commands=(watch get set alive reset dde) ;;
  esac
  for command in "${commands[@]}"; do
    helps+=$'\n'$("$program" "$command" --help 2>&1) || fail "$name $command --help failed"
    if [[ $name == ovtool ]]; then
      grep -q "^\.SS \"$command " "$page" || fail "$name: command $command has no subsection"
      awk -v c="$command" '/^\.SS / { inside = index($0, "\"" c " ") > 0 } inside' "$page" |
        grep -q '^Example' || fail "$name: command $command has no example"
    else
      grep -qF "$command" "$page" || fail "$name: command $command is not described"
    fi
  done
  while read -r option; do
    [[ -n $option ]] || continue
    grep -qF -- "${option//-/\\-}" "$page" || fail "$name: option $option of --help is not in the page"
  done < <(options <<<"$helps")
  echo "man_pages: $name.1 renders cleanly and names its options"
done
((pages == 6)) || fail "$pages pages in $MAN, not 6"
((failures == 0)) || exit 1
echo "man_pages: all pages pass"
