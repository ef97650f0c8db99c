#!/usr/bin/env bash
# The layering, checked from the sources alone (no build, a second or two): every #include of
# every C++ file under src/ and tools/, and every target_link_libraries of their CMake files,
# against tests/layers.txt, the table of the folders, the edges between them (each with its
# reason) and the outside libraries each folder may use. A quoted include is resolved to the
# folder it really names (relative paths too); an include in angle brackets is a header of an
# outside kind (std, Qt, ODBC, sd-bus, MQTT, as the table defines them). The table itself must
# be the house as built: a folder it does not name, a line nothing uses and a cycle among its
# edges fail as well.
#
#   tests/layer_check.sh [ROOT]      ROOT: the source tree (default: this repository)
#
# Prints one line per fault (where, what is included or linked, whose it is, what the table
# allows) and exits 1 when there is any.
set -euo pipefail
set -f  # paths are split on "/" below; no file-name expansion anywhere
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$ROOT"
TABLE=tests/layers.txt
[[ -r $TABLE ]] || { echo "layer_check: no table $ROOT/$TABLE" >&2; exit 2; }

# The C++ files: sources, headers, inline parts, and the templates CMake turns into them.
EXTENSIONS=(h hh hpp hxx c cc cpp cxx inl ipp tcc cppm ixx)

bad=0
fault() { echo "$*"; bad=1; }

# ---- The table -----------------------------------------------------------------------------
declare -A HEADER_RE LINK_RE  # kind -> extended regular expression (its lines joined by "|")
declare -A KINDS_OF           # folder -> " std qt … " (the kinds it may use)
declare -A FOLDER_AT          # folder -> its line in the table
declare -A EDGE_AT            # "from to" -> the line of the edge
declare -A NEXT               # folder -> " to1 to2 …"
declare -A USED               # "from to" or "from kind" -> 1 once an include uses it
KIND_NAMES=()
FOLDERS=()
EDGES=()
current=
n=0
while IFS= read -r raw || [[ -n $raw ]]; do
  n=$((n + 1))
  read -r -a f <<<"$raw"
  ((${#f[@]})) || continue
  [[ ${f[0]} == \#* ]] && continue
  case ${f[0]} in
    kind)
      if ((${#f[@]} < 4)) || [[ ${f[2]} != header && ${f[2]} != link ]]; then
        fault "$TABLE:$n: a kind line is: kind NAME header|link REGEX [what it is]"
        continue
      fi
      if [[ ${f[2]} == header ]]; then
        HEADER_RE[${f[1]}]=${HEADER_RE[${f[1]}]:+${HEADER_RE[${f[1]}]}|}${f[3]}
      else
        LINK_RE[${f[1]}]=${LINK_RE[${f[1]}]:+${LINK_RE[${f[1]}]}|}${f[3]}
      fi
      [[ " ${KIND_NAMES[*]} " == *" ${f[1]} "* ]] || KIND_NAMES+=("${f[1]}")
      ;;
    uses)
      if [[ -z $current ]]; then
        fault "$TABLE:$n: a uses line belongs beneath the line of its folder"
      elif ((${#f[@]} < 3)); then
        fault "$TABLE:$n: \"uses ${f[1]-}\" needs its reason after it"
      elif [[ -n ${EDGE_AT["$current ${f[1]}"]+x} ]]; then
        fault "$TABLE:$n: $current uses ${f[1]} twice (line ${EDGE_AT["$current ${f[1]}"]})"
      else
        EDGE_AT["$current ${f[1]}"]=$n
        EDGES+=("$current ${f[1]}")
        NEXT[$current]+=" ${f[1]}"
      fi
      ;;
    *)
      if ((${#f[@]} != 2)); then
        fault "$TABLE:$n: a folder line is: FOLDER KINDS (the outside kinds beside std, \"-\" for none)"
        current=
        continue
      fi
      current=${f[0]}
      if [[ -n ${FOLDER_AT[$current]+x} ]]; then
        fault "$TABLE:$n: folder $current has a line already (line ${FOLDER_AT[$current]})"
      fi
      FOLDER_AT[$current]=$n
      FOLDERS+=("$current")
      kinds=${f[1]}
      [[ $kinds == - ]] && kinds=
      KINDS_OF[$current]=" std ${kinds//,/ } "
      ;;
  esac
done <"$TABLE"

[[ -n ${HEADER_RE[std]+x} ]] || fault "$TABLE: no kind std (the headers every folder may use)"
for folder in "${FOLDERS[@]}"; do
  [[ -d $folder ]] || fault "$TABLE:${FOLDER_AT[$folder]}: folder $folder is not in the tree"
  for k in ${KINDS_OF[$folder]}; do
    [[ " ${KIND_NAMES[*]} " == *" $k "* ]] ||
      fault "$TABLE:${FOLDER_AT[$folder]}: $folder names kind $k, which no kind line defines"
  done
done
for edge in "${EDGES[@]}"; do
  to=${edge#* }
  [[ -n ${FOLDER_AT[$to]+x} ]] || fault "$TABLE:${EDGE_AT[$edge]}: $to has no folder line"
  [[ ${edge% *} == "$to" ]] && fault "$TABLE:${EDGE_AT[$edge]}: $to uses itself"
done

# What a folder may use, as the messages say it.
allowed() {
  local -a uses kinds
  read -r -a uses <<<"${NEXT[$1]-}"
  read -r -a kinds <<<"${KINDS_OF[$1]}"
  echo "$TABLE:${FOLDER_AT[$1]} lets it use ${uses[*]:-no other folder}; outside: ${kinds[*]}"
}

# No cycle: each folder sits above everything it uses.
declare -A STATE
STACK=()
visit() {
  local from=$1 to i path
  STATE[$from]=visiting
  STACK+=("$from")
  for to in ${NEXT[$from]-}; do
    if [[ ${STATE[$to]-} == visiting ]]; then
      path=
      for ((i = ${#STACK[@]} - 1; i >= 0; i--)); do
        path="${STACK[i]} -> $path"
        [[ ${STACK[i]} == "$to" ]] && break
      done
      fault "$TABLE:${EDGE_AT["$from $to"]}: the edges run in a circle: $path$to"
    elif [[ -z ${STATE[$to]-} ]]; then
      visit "$to"
    fi
  done
  STATE[$from]=done
  unset 'STACK[-1]'
}
for folder in "${FOLDERS[@]}"; do [[ -n ${STATE[$folder]-} ]] || visit "$folder"; done

# The table's folder a path's folder belongs to: its own line, or its nearest parent's
# (src/app/help belongs to src/app, tools/ovtool/catalogue has a line of its own). Sets OWNER.
declare -A OWNER_OF
owner() {
  local d=$1
  if [[ -n ${OWNER_OF[$d]+x} ]]; then OWNER=${OWNER_OF[$d]}; return; fi
  OWNER=
  while :; do
    if [[ -n ${FOLDER_AT[$d]+x} ]]; then OWNER=$d; break; fi
    [[ $d == */* ]] || break
    d=${d%/*}
  done
  OWNER_OF[$1]=$OWNER
}

# A path with "." and ".." parts made plain. Sets PLAIN; fails when it climbs above ROOT.
plain() {
  local part IFS=/
  local -a parts=()
  for part in $1; do
    case $part in
      '' | .) ;;
      ..) ((${#parts[@]})) || return 1; unset 'parts[-1]' ;;
      *) parts+=("$part") ;;
    esac
  done
  PLAIN="${parts[*]}"
}

# ---- The includes --------------------------------------------------------------------------
find_args=()
for e in "${EXTENSIONS[@]}"; do find_args+=(-o -name "*.$e" -o -name "*.$e.in"); done
mapfile -t FILES < <(find src tools -type f \( "${find_args[@]:1}" \) | sort)

declare -A HAS_FILES
for file in "${FILES[@]}"; do
  owner "${file%/*}"
  if [[ -z $OWNER ]]; then
    [[ -n ${HAS_FILES[${file%/*}]+x} ]] ||
      fault "${file%/*}: a folder of C++ files ($file …) that no line of $TABLE names"
  fi
  HAS_FILES[${file%/*}]=1
  [[ -n $OWNER ]] && HAS_FILES[$OWNER]=1
done
for folder in "${FOLDERS[@]}"; do
  [[ -d $folder && -z ${HAS_FILES[$folder]+x} ]] &&
    fault "$TABLE:${FOLDER_AT[$folder]}: folder $folder has no C++ file: remove its line"
done

declare -A KINDS_OF_HEADER  # header -> " qt mqtt" (its kinds, found once)
include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)"'
system_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>'
while IFS= read -r rec; do
  file=${rec%%:*}
  rest=${rec#*:}
  at="$file:${rest%%:*}"
  text=${rest#*:}
  dir=${file%/*}
  owner "$dir"
  from=$OWNER
  [[ -n $from ]] || continue  # reported with its folder
  if [[ $text =~ $include_re ]]; then
    target=${BASH_REMATCH[1]}
    # As the compiler looks: beside the including file first, then under src/, the one
    # include folder of the project.
    if [[ $target == ./* || $target == ../* || -e $dir/$target ]]; then
      if ! plain "$dir/$target"; then
        fault "$at: includes \"$target\", which lies outside the source tree"
        continue
      fi
    elif [[ $target != */* ]]; then
      fault "$at: includes \"$target\", which is not beside it (a header of another folder is" \
            "written from src/, \"layer/Name.h\", or relative to the file)"
      continue
    else
      plain "src/$target" || true
    fi
    folder=.
    [[ $PLAIN == */* ]] && folder=${PLAIN%/*}
    owner "$folder"
    to=$OWNER
    if [[ -z $to ]]; then
      fault "$at: includes \"$target\" in $folder, a folder no line of $TABLE names"
    elif [[ $to == "$from" ]]; then
      :
    elif [[ -n ${EDGE_AT["$from $to"]+x} ]]; then
      USED["$from $to"]=1
    else
      fault "$at: includes \"$target\" of $to, which $from may not use ($(allowed "$from"))"
    fi
  elif [[ $text =~ $system_re ]]; then
    target=${BASH_REMATCH[1]}
    if [[ -z ${KINDS_OF_HEADER[$target]+x} ]]; then
      kinds=
      for k in "${KIND_NAMES[@]}"; do
        re=${HEADER_RE[$k]-}
        [[ -n $re && $target =~ $re ]] && kinds+=" $k"
      done
      KINDS_OF_HEADER[$target]=$kinds
    fi
    kinds=${KINDS_OF_HEADER[$target]}
    if [[ -z $kinds ]]; then
      fault "$at: includes <$target>, a header of no kind in $TABLE (${KIND_NAMES[*]})"
      continue
    fi
    for k in $kinds; do
      if [[ ${KINDS_OF[$from]} == *" $k "* ]]; then
        USED["$from $k"]=1
      else
        fault "$at: includes <$target> of $k, which $from may not use ($(allowed "$from"))"
      fi
    done
  else
    fault "$at: an #include the check cannot read: ${text#"${text%%[![:space:]]*}"}"
  fi
done < <(((${#FILES[@]})) && grep -HnE '^[[:space:]]*#[[:space:]]*include' "${FILES[@]}")

# ---- The links -----------------------------------------------------------------------------
# The commands that make and link targets, one record a target or a linked item:
#   def FILE LINE TARGET library|bundle|executable|imported    (bundle: an INTERFACE library
#                                                               without sources, a set of links)
#   link FILE LINE TARGET ITEM
# The bodies of function() and macro() are skipped: their calls (ov_layer) are read instead.
read -r -d '' CMAKE_READER <<'AWK' || true
function strip(s,   i, c, q, out) {
  out = ""; q = 0
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (c == "\"") q = !q
    if (c == "#" && !q) break
    out = out c
  }
  return out
}
function keyword(t) {
  return t ~ /^(PRIVATE|PUBLIC|INTERFACE|LINK_PRIVATE|LINK_PUBLIC|LINK_INTERFACE_LIBRARIES|debug|optimized|general)$/
}
function handle(   i, mode) {
  if (cmd == "function" || cmd == "macro") { inbody = 1; return }
  if (cmd == "endfunction" || cmd == "endmacro") { inbody = 0; return }
  if (inbody || nargs == 0) return
  if (cmd == "ov_layer") {
    print "def", FILENAME, line[1], args[1], "library"
    mode = ""
    for (i = 2; i <= nargs; i++) {
      if (args[i] == "SOURCES" || args[i] == "USES") { mode = args[i]; continue }
      if (mode == "USES") print "link", FILENAME, line[i], args[1], args[i]
    }
  } else if (cmd == "add_library" || cmd == "add_executable") {
    if (args[2] == "IMPORTED" || args[3] == "IMPORTED") print "def", FILENAME, line[1], args[1], "imported"
    else if (args[2] == "ALIAS") print "def", FILENAME, line[1], args[1], "alias:" args[3]
    else if (cmd == "add_executable") print "def", FILENAME, line[1], args[1], "executable"
    else if (args[2] == "INTERFACE" && nargs == 2) print "def", FILENAME, line[1], args[1], "bundle"
    else print "def", FILENAME, line[1], args[1], "library"
  } else if (cmd == "target_link_libraries") {
    for (i = 2; i <= nargs; i++)
      if (!keyword(args[i])) print "link", FILENAME, line[i], args[1], args[i]
  }
}
FNR == 1 { pending = ""; depth = 0; inbody = 0 }
{
  s = strip($0)
  gsub(/\(/, " ( ", s); gsub(/\)/, " ) ", s)
  nw = split(s, w, /[ \t]+/)
  for (j = 1; j <= nw; j++) {
    t = w[j]
    if (t == "") continue
    if (depth == 0) {
      if (t == "(" && pending != "") { cmd = pending; depth = 1; nargs = 0; pending = ""; continue }
      pending = tolower(t)
      if (pending !~ /^(ov_layer|add_library|add_executable|target_link_libraries|function|macro|endfunction|endmacro)$/) pending = ""
      continue
    }
    if (t == "(") { depth++; continue }
    if (t == ")") { if (--depth == 0) handle(); continue }
    gsub(/"/, "", t)
    args[++nargs] = t; line[nargs] = FNR
  }
}
AWK
declare -A TARGET_DIR TARGET_KIND TARGET_AT BUNDLE
LINKS=()
mapfile -t CMAKE_FILES < <(find src tools -type f \( -name CMakeLists.txt -o -name '*.cmake' \) | sort)
while read -r what file ln name item; do
  if [[ $what == def ]]; then
    TARGET_DIR[$name]=${file%/*}
    TARGET_KIND[$name]=$item
    TARGET_AT[$name]=$file:$ln
  else
    LINKS+=("$file:$ln $name $item")
  fi
done < <(((${#CMAKE_FILES[@]})) && awk "$CMAKE_READER" "${CMAKE_FILES[@]}")

for rec in "${LINKS[@]}"; do
  read -r at name item <<<"$rec"
  [[ ${TARGET_KIND[$name]-} == bundle ]] && BUNDLE[$name]+=" $item"
done

# One linked item of target name (made in folder from); via: the bundle it comes through.
check_link() {
  local at=$1 name=$2 from=$3 item=$4 via=$5 member k kinds re lower
  if [[ $item == *'$'* ]]; then
    fault "$at: $name links $item, which the check cannot resolve (name the library)"
  elif [[ ${TARGET_KIND[$item]-} == bundle ]]; then
    for member in ${BUNDLE[$item]-}; do check_link "$at" "$name" "$from" "$member" "$item"; done
  elif [[ ${TARGET_KIND[$item]-} == alias:* ]]; then
    check_link "$at" "$name" "$from" "${TARGET_KIND[$item]#alias:}" "$item"
  elif [[ -n ${TARGET_KIND[$item]+x} && ${TARGET_KIND[$item]} != imported ]]; then
    owner "${TARGET_DIR[$item]}"
    if [[ -z $OWNER || $OWNER == "$from" ]]; then
      :  # a target of no folder is reported where it is made
    elif [[ -z ${EDGE_AT["$from $OWNER"]+x} ]]; then
      fault "$at: $name links $item${via:+ (through $via)} of $OWNER, which $from may not use" \
            "($(allowed "$from"))"
    fi
  else
    lower=${item,,}
    kinds=
    for k in "${KIND_NAMES[@]}"; do
      re=${LINK_RE[$k]-}
      [[ -n $re && $lower =~ $re ]] && kinds+=" $k"
    done
    if [[ -z $kinds ]]; then
      fault "$at: $name links $item${via:+ (through $via)}, which is no target under src/ or" \
            "tools/ and no library of a kind in $TABLE (${KIND_NAMES[*]})"
    fi
    for k in $kinds; do
      [[ ${KINDS_OF[$from]} == *" $k "* ]] ||
        fault "$at: $name links $item${via:+ (through $via)} of $k, which $from may not use" \
              "($(allowed "$from"))"
    done
  fi
}

for name in "${!TARGET_KIND[@]}"; do
  [[ ${TARGET_KIND[$name]} == library || ${TARGET_KIND[$name]} == executable ]] || continue
  owner "${TARGET_DIR[$name]}"
  [[ -n $OWNER ]] ||
    fault "${TARGET_AT[$name]}: target $name is made in ${TARGET_DIR[$name]}, a folder no line of" \
          "$TABLE names (make it in the folder of its sources)"
done
for rec in "${LINKS[@]}"; do
  read -r at name item <<<"$rec"
  kind=${TARGET_KIND[$name]-}
  if [[ -z $kind ]]; then
    fault "$at: links to $name, which is made outside src/ and tools/"
    continue
  fi
  [[ $kind == library || $kind == executable ]] || continue
  owner "${TARGET_DIR[$name]}"
  [[ -n $OWNER ]] && check_link "$at" "$name" "$OWNER" "$item" ""
done

# ---- Every line of the table in use ----------------------------------------------------------
for edge in "${EDGES[@]}"; do
  [[ -d ${edge% *} && -n ${FOLDER_AT[${edge#* }]+x} ]] || continue  # reported above
  [[ -n ${USED[$edge]+x} ]] ||
    fault "$TABLE:${EDGE_AT[$edge]}: ${edge% *} uses ${edge#* }, but no file of ${edge% *}" \
          "includes a header of it: remove the line"
done
for folder in "${FOLDERS[@]}"; do
  [[ -d $folder ]] || continue  # reported above
  for k in ${KINDS_OF[$folder]}; do
    [[ $k == std || -n ${USED["$folder $k"]+x} || " ${KIND_NAMES[*]} " != *" $k "* ]] ||
      fault "$TABLE:${FOLDER_AT[$folder]}: $folder may use $k, but no file of it includes a" \
            "header of $k: remove the kind"
  done
done

if ((bad)); then
  echo "layer_check: includes and links against the layers of $TABLE (see ARCHITECTURE.md)"
  exit 1
fi
echo "layer_check: every include and link keeps to its layers"
