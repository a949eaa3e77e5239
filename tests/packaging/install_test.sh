#!/usr/bin/env bash
# An install into a staging folder holds exactly the expected files, the
# programs are executable, the manual pages are valid gzip, and the desktop
# entry names a launcher and an icon that the install really provides.
# Usage: install_test.sh BUILD_DIR EXPECTED_FILES
source "$(dirname "$0")/common.sh"
build=$1 expected=$2

DESTDIR=$TMP/stage cmake --install "$build" --prefix /usr >"$TMP/install.log" 2>&1 ||
    { cat "$TMP/install.log"; fail "cmake --install failed"; }
root=$TMP/stage/usr

(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$TMP/got"
LC_ALL=C sort "$expected" >"$TMP/want"
diff -u "$TMP/want" "$TMP/got" || fail "installed files differ from the expected list (- missing, + unexpected)"
[ -z "$(find "$TMP/stage" -path "$root" -prune -o ! -type d -print)" ] || fail "files installed outside the prefix"

for program in bin/papyro bin/papyro-launch; do
    [ -x "$root/$program" ] || fail "$program is not executable"
done
for page in "$root"/share/man/man1/*.gz; do
    gzip -t "$page" || fail "$page is not valid gzip"
done

entry=$root/share/applications/papyro.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/bin/$exec_name" ] || fail "desktop entry runs '$exec_name', which is not installed in bin/"
compgen -G "$root/share/icons/hicolor/*/apps/$icon_name.*" >/dev/null ||
    fail "desktop entry names icon '$icon_name', which is not installed in the hicolor theme"
echo "install: ok"
