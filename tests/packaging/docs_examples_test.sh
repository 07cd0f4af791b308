#!/usr/bin/env bash
# Runs the command blocks of the user documentation that are marked to run
# (an HTML comment "<!-- runs -->" on the line before a ```sh block) as a reader
# would: each document's blocks in order, in one shell, in a home folder of
# their own, with the build's programs first on PATH. Fails on the first
# command that fails; every process the blocks start is ended at the end.
#   docs_examples_test.sh PROGRAM_DIR... -- DOCUMENT...
set -euo pipefail

dirs=()
while (($#)) && [[ $1 != -- ]]; do dirs+=("$(cd "$1" && pwd)"); shift; done
[[ ${1-} == -- ]] && shift
(($#)) || { echo "usage: $0 PROGRAM_DIR... -- DOCUMENT..." >&2; exit 2; }
search=$PATH
for d in "${dirs[@]}"; do search=$d:$search; done

work=$(mktemp -d)
groups=()

# Each document's shell leads a process group of its own, so that the
# simulators it leaves in the background are found and ended with it.
cleanup() {
  local status=$? group tries
  for group in "${groups[@]}"; do
    kill -TERM -- "-$group" 2>/dev/null || continue
    for ((tries = 0; tries < 50; tries++)); do
      kill -0 -- "-$group" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL -- "-$group" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The marked blocks of a document, one after another.
blocks() {
  awk '
    /^<!-- runs -->[[:space:]]*$/ { armed = 1; next }
    armed && /^```sh[[:space:]]*$/ { inside = 1; armed = 0; print "# " FILENAME ":" NR; next }
    inside && /^```[[:space:]]*$/ { inside = 0; next }
    inside { print; next }
    /[^[:space:]]/ { armed = 0 }
  ' "$1"
}

for doc in "$@"; do
  name=$(basename "$doc" .md)
  home=$work/$name
  script=$work/$name.sh
  mkdir -p "$home"
  {
    echo 'set -eEuo pipefail'
    echo "trap 'echo \"$doc: failed: \$BASH_COMMAND\" >&2' ERR"
    blocks "$doc"
  } >"$script"
  count=$(grep -c "^# $doc:" "$script" || true)
  ((count > 0)) || { echo "$doc: no block marked <!-- runs -->" >&2; exit 1; }
  echo "== $doc: $count blocks"
  (
    cd "$home"
    exec setsid env -u DUOMAT_PORT_DIR -u DUOMAT_DEV_DIR -u DUOMAT_SYSFS_ROOT \
      HOME="$home" PATH="$search" timeout 60 bash "$script"
  ) </dev/null &
  groups+=("$!")
  wait "$!" || { echo "$doc: a command failed (above)" >&2; exit 1; }
done
