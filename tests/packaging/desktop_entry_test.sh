#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate with nothing to say: the tool
# exits 0 on warnings and hints, so any output fails the test.
# Usage: desktop_entry_test.sh DESKTOP_FILE
source "$(dirname "$0")/common.sh"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (package desktop-file-utils)"
out=$(desktop-file-validate "$1" 2>&1) || { echo "$out"; fail "desktop-file-validate rejected $1"; }
[ -z "$out" ] || { echo "$out"; fail "desktop-file-validate has remarks on $1"; }
echo "desktop entry: ok"
