#!/usr/bin/env bash
# cpack makes the Debian package from this build tree into OUT_DIR (which
# the install test then uses); its control fields name a maintainer, a
# description and the GTK+ 2 runtime among the dependencies, and it holds
# exactly the expected files under /usr.
# Usage: deb_build_test.sh BUILD_DIR OUT_DIR EXPECTED_FILES
source "$(dirname "$0")/common.sh"
build=$1 out=$2 expected=$3
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (package dpkg-dev)"

rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$TMP/cpack.log" 2>&1 ||
    { cat "$TMP/cpack.log"; fail "cpack failed"; }
debs=("$out"/papyro_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one papyro_*.deb in $out, found: ${debs[*]}"
deb=${debs[0]}
dpkg-deb -I "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = papyro ] || fail "package name is '$(field Package)'"
[[ $(field Maintainer) =~ ^.+\ \<.+@.+\>$ ]] || fail "maintainer '$(field Maintainer)' is not 'Name <address>'"
[ "$(dpkg-deb -I "$deb" control | sed -n '/^Description:/,$p' | wc -l)" -gt 2 ] ||
    fail "the description has no long text"
[[ ", $(field Depends)," =~ ,\ libgtk2\.0-0[\ ,] ]] || fail "Depends '$(field Depends)' lacks libgtk2.0-0"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | LC_ALL=C sort >"$TMP/got"
LC_ALL=C sort "$expected" >"$TMP/want"
diff -u "$TMP/want" "$TMP/got" || fail "package files differ from the expected list (- missing, + unexpected)"
for program in papyro papyro-launch; do
    dpkg-deb -c "$deb" | grep -q "^-rwxr-xr-x .* \./usr/bin/$program\$" || fail "/usr/bin/$program is not mode 755"
done
echo "deb: $deb"
