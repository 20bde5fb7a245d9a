# Shared helpers of the midimix black-box tests. Each test script is run by CTest as
#   bash tests/tools/NAME.sh MIDIMIX SOURCE_DIR
# and sources this file. Checks count failures; `finish` reports and sets the exit status.
set -u

MIDIMIX=${1:?usage: $0 MIDIMIX SOURCE_DIR}
SRC=${2:?usage: $0 MIDIMIX SOURCE_DIR}
DEMO="$SRC/res/demo.mid"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
failures=0
checks=0

fail() {
  failures=$((failures + 1))
  echo "FAIL: $*" >&2
}

# Runs midimix with the given arguments; keeps stdout in $OUT, stderr in $ERR, status in $RC.
mm() {
  "$MIDIMIX" "$@" >"$T/out" 2>"$T/err"
  RC=$?
  OUT=$(cat "$T/out")
  ERR=$(cat "$T/err")
  LAST="midimix $*"
}

expect_rc() {
  checks=$((checks + 1))
  [ "$RC" -eq "$1" ] || fail "$LAST: exit status $RC, expected $1 (stderr: $ERR)"
}

expect_out() {
  checks=$((checks + 1))
  [ "$OUT" == "$1" ] || fail "$LAST: stdout differs:
$(diff <(echo "$1") <(echo "$OUT"))"
}

expect_err() {
  checks=$((checks + 1))
  [ "$ERR" == "$1" ] || fail "$LAST: stderr differs:
$(diff <(echo "$1") <(echo "$ERR"))"
}

# A whole line of stdout (or of $2 when given).
expect_line() {
  checks=$((checks + 1))
  local text=${2-$OUT}
  grep -qxF -- "$1" <<<"$text" || fail "$LAST: no line '$1' in:
$text"
}

expect_err_has() {
  checks=$((checks + 1))
  grep -qF -- "$1" <<<"$ERR" || fail "$LAST: stderr lacks '$1': $ERR"
}

expect_eq() {   # what, expected, actual
  checks=$((checks + 1))
  [ "$2" == "$3" ] || fail "$1: expected '$2', got '$3'"
}

# Writes bytes given as hex digits (spaces allowed) to a file.
put_hex() {
  local file=$1 hex
  hex=$(tr -d ' \n' <<<"$2")
  printf "$(sed 's/\(..\)/\\x\1/g' <<<"$hex")" >"$file"
}

# The bytes of a file as lower-case hex, no spaces.
hex_of() {
  od -An -tx1 -v "$1" | tr -d ' \n'
}

# An MTrk chunk around event bytes given as hex.
mtrk() {
  local hex
  hex=$(tr -d ' \n' <<<"$1" | tr 'A-F' 'a-f')
  printf '4d54726b%08x%s' $((${#hex} / 2)) "$hex"
}

# A header chunk: format, number of tracks, division.
mthd() {
  printf '4d546864000000060%03x%04x%04x' "$1" "$2" "$3"
}

# Prints the record lines of midimix for the rows only.
rows_of() {
  grep '^row ' <<<"$1"
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$(basename "$0"): $failures of $checks checks failed" >&2
    exit 1
  fi
  echo "$(basename "$0"): $checks checks passed"
}
