#!/usr/bin/env bash
# Installs the package built by deb_build_test.sh with dpkg -i, then starts
# the note through the installed launcher under a private X server and
# window manager: a window must appear, take typed text into text.txt, and
# end with status 0 on a close request. Installing into the system needs
# consent: root with CI=true, or PAPYRO_TEST_DPKG=1; otherwise the test is
# skipped (exit 77). A package that was not installed before is removed
# again at the end.
# Usage: deb_run_test.sh DEB_DIR
source "$(dirname "$0")/common.sh"
debs=("$1"/papyro_*.deb)

sudo=()
if [ "${PAPYRO_TEST_DPKG:-}" != 1 ]; then
    if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != true ]; then
        echo "SKIP: installs into the system only as root with CI=true, or with PAPYRO_TEST_DPKG=1"
        exit 77
    fi
elif [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
[ -f "${debs[0]}" ] || fail "no package in $1 (deb_build_test.sh makes it)"
for tool in Xvfb openbox wmctrl xdotool; do
    command -v $tool >/dev/null || fail "$tool is missing (scripts/lib/common.sh installs it)"
done

pids=()
was_installed=0
dpkg-query -W -f='${Status}' papyro 2>/dev/null | grep -q 'install ok installed' && was_installed=1
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    [ $was_installed = 1 ] || "${sudo[@]}" dpkg -r papyro >/dev/null 2>&1
    cleanup_tmp
}
trap cleanup EXIT

"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive dpkg -i "${debs[0]}" >"$TMP/dpkg.log" 2>&1 ||
    { cat "$TMP/dpkg.log"; fail "dpkg -i failed"; }
[ -x /usr/bin/papyro ] && [ -x /usr/bin/papyro-launch ] || fail "the package did not install its programs in /usr/bin"

# A clean X client environment: GTK modules or a foreign locale from the
# runner would print warnings or change the text.
x_env=(env -u GTK_MODULES -u LC_ALL -u LC_CTYPE -u LANGUAGE LANG=C.UTF-8)

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$TMP/display" 2>"$TMP/xvfb.log" &
pids+=($!)
wait_for 10 grep -q '^[0-9]' "$TMP/display" || { cat "$TMP/xvfb.log"; fail "Xvfb did not start"; }
x_env+=(DISPLAY=:$(head -n 1 "$TMP/display"))
"${x_env[@]}" openbox --sm-disable >"$TMP/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 "${x_env[@]}" wmctrl -m >/dev/null 2>&1 || { cat "$TMP/openbox.log"; fail "openbox did not start"; }

# The launcher execs papyro, so its pid is the note's.
mkdir "$TMP/home"
"${x_env[@]}" HOME="$TMP/home" XDG_DATA_HOME="$TMP/data" /usr/bin/papyro-launch 2>"$TMP/papyro.err" &
note=$!
pids+=($note)
note_window() {
    kill -0 $note 2>/dev/null || return 0
    window=$("${x_env[@]}" xdotool search --onlyvisible --pid $note 2>/dev/null | head -n 1)
    [ -n "$window" ]
}
wait_for 10 note_window || fail "no papyro window appeared within 10 s"
if ! kill -0 $note 2>/dev/null; then
    wait $note
    status=$?
    cat "$TMP/papyro.err" >&2
    fail "papyro exited (status $status) before showing a window"
fi
[ -f "$TMP/data/papyro/papyro.ini" ] || fail "the launcher made no papyro.ini"

"${x_env[@]}" xdotool windowactivate --sync "$window" >/dev/null 2>&1 || fail "the note window cannot take the focus"
"${x_env[@]}" xdotool type --delay 20 "packaged" || fail "xdotool could not type"
saved() { [ "$(cat "$TMP/data/papyro/text.txt" 2>/dev/null)" = packaged ]; }
wait_for 3 saved || fail "typed text was not saved to text.txt (it holds '$(cat "$TMP/data/papyro/text.txt" 2>/dev/null)')"

"${x_env[@]}" wmctrl -i -c "$window" || fail "wmctrl could not send the close request"
wait_for 5 eval '! kill -0 $note 2>/dev/null' || fail "papyro did not end within 5 s of the close request"
wait $note
status=$?
cat "$TMP/papyro.err" >&2
[ $status -eq 0 ] || fail "papyro ended with status $status on a close request"
echo "installed package: window shown, text saved, closed with status 0"
