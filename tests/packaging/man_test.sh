#!/usr/bin/env bash
# The manual pages, as installed (gzipped), render without a single warning
# at the usual terminal widths, and their NAME lines parse for the whatis
# database that apropos and `man -k` search.
# Usage: man_test.sh PAGE.gz...
source "$(dirname "$0")/common.sh"
command -v man >/dev/null && command -v lexgrog >/dev/null || fail "man and lexgrog are missing (package man-db)"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
for page in "$@"; do
    for width in 80 60; do
        MANWIDTH=$width man --warnings -l "$page" >"$TMP/out" 2>"$TMP/err" ||
            { cat "$TMP/err"; fail "man could not render $page"; }
        [ -s "$TMP/err" ] && { cat "$TMP/err"; fail "$page renders with warnings at width $width"; }
        grep -q '^NAME' "$TMP/out" || fail "$page renders without a NAME section"
    done
    lexgrog "$page" >"$TMP/whatis" || { cat "$TMP/whatis"; fail "lexgrog cannot parse the NAME line of $page"; }
done
echo "manual pages: ok"
