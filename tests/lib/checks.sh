# Checks shared by the whole-program and window tests: a check collects its
# expectations, then `report` prints one line for it ("ok" or "FAIL" with
# what differed); `finish_checks` prints the total and sets the exit code.
# Sourced; SHORT_LIMIT (characters, default 120) cuts long texts in reports.

CHECKS=0
FAILS=0
PROBLEMS=()

short() {  # TEXT: one line, cut for the report line
  local t=${1//$'\n'/ | } limit=${SHORT_LIMIT:-120}
  if [ ${#t} -gt "$limit" ]; then echo "${t:0:$limit}..."; else echo "$t"; fi
}
expect_eq() {  # WHAT EXPECTED ACTUAL
  [ "$2" == "$3" ] || PROBLEMS+=("$1: expected '$(short "$2")', got '$(short "$3")'")
}
expect_has() {  # WHAT TEXT NEEDLE
  [[ $2 == *"$3"* ]] || PROBLEMS+=("$1: no '$3' in '$(short "$2")'")
}
expect_empty() {  # WHAT TEXT
  [ -z "$2" ] || PROBLEMS+=("$1: expected nothing, got '$(short "$2")'")
}
expect_no() {  # WHAT TEXT NEEDLE
  [[ $2 != *"$3"* ]] || PROBLEMS+=("$1: '$3' in '$(short "$2")'")
}
expect_nonempty() {  # WHAT TEXT
  [ -n "$2" ] || PROBLEMS+=("$1: expected something, got nothing")
}
fail_because() { PROBLEMS+=("$1"); }
report() {  # NAME: one line for every expectation since the last report
  CHECKS=$((CHECKS + 1))
  if [ ${#PROBLEMS[@]} -eq 0 ]; then
    echo "ok   $1"
  else
    FAILS=$((FAILS + 1))
    echo "FAIL $1"
    printf '       - %s\n' "${PROBLEMS[@]}"
  fi
  PROBLEMS=()
}
finish_checks() {  # the total; exit code 0 when every check passed, else 1
  echo
  if [ "$FAILS" -eq 0 ]; then
    echo "all $CHECKS checks passed"
    exit 0
  fi
  echo "$FAILS of $CHECKS checks failed"
  exit 1
}

# wanted PROGRAM...: whether a check that runs these programs (paths or
# names) runs in this pass. With TREP_TESTS_NATIVE_ONLY=1 only the checks
# that run trep, the native program, do: a second pass with another build
# of trep (TREP_NATIVE, say a sanitized one) would only repeat the others,
# which run Trep.exe or the test tools alone.
wanted() {
  [ "${TREP_TESTS_NATIVE_ONLY:-0}" = 1 ] || return 0
  local p
  for p in "$@"; do
    [ "${p##*/}" = trep ] && return 0
  done
  return 1
}

trim() {  # TEXT: without the blanks around it
  local t=${1#"${1%%[![:space:]]*}"}
  echo "${t%"${t##*[![:space:]]}"}"
}

le() {  # FILE OFFSET WIDTH: unsigned little-endian integer of WIDTH bytes
  local v=0 i
  local -a b
  read -r -a b <<<"$(od -A n -t u1 -v -j "$2" -N "$3" "$1" 2>/dev/null | tr '\n' ' ')"
  for ((i = ${#b[@]} - 1; i >= 0; i--)); do v=$(((v << 8) | b[i])); done
  echo "$v"
}
hex() {  # FILE OFFSET COUNT: the bytes as one hex string
  od -A n -t x1 -v -j "$2" -N "$3" "$1" 2>/dev/null | tr -d ' \n'
}

# read_row ROW NAME...: the cells of a table row written "a | b | c", each
# without the blanks around it, into the variables NAME...
read_row() {
  local row=$1 name i=0
  shift
  local -a cells
  IFS='|' read -r -a cells <<<"$row"
  for name in "$@"; do
    printf -v "$name" '%s' "$(trim "${cells[i]:-}")"
    i=$((i + 1))
  done
}
