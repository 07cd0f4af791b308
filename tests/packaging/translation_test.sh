#!/usr/bin/env bash
# A catalog is complete and current: every translatable text of the sources
# has a finished translation, and lupdate run over the sources changes
# nothing in the kept .ts.
# Usage: translation_test.sh TS LUPDATE [lupdate arguments but -ts]
set -euo pipefail
ts=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ts" "$work/current.ts"
"$@" -ts "$work/current.ts" >"$work/lupdate.log" 2>&1 || { cat "$work/lupdate.log" >&2; exit 1; }
if ! cmp -s "$ts" "$work/current.ts"; then
  echo "$ts is out of date against the sources (ninja update_translations, then translate):" >&2
  diff -u "$ts" "$work/current.ts" >&2 || true
  exit 1
fi
# A message still waiting for its translation, or one whose source is gone.
if grep -nE 'type="(unfinished|vanished|obsolete)"' "$ts" >&2; then
  echo "$ts has messages without a finished translation" >&2
  exit 1
fi
# An empty translation shows nothing at all.
if grep -nE '<translation>\s*</translation>|<translation/>' "$ts" >&2; then
  echo "$ts has empty translations" >&2
  exit 1
fi
