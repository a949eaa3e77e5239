#!/usr/bin/env bash
# The launcher runs a fake papyro placed beside it, in a clean environment,
# and the test reads what the fake saw: its folder and its arguments.
# Usage: launcher_test.sh LAUNCHER
source "$(dirname "$0")/common.sh"
launcher=$1

mkdir -p "$TMP/bin" "$TMP/home"
install -m 755 "$launcher" "$TMP/bin/papyro-launch"
cat >"$TMP/bin/papyro" <<'FAKE'
#!/bin/sh
{ pwd; printf '%s\n' "$@"; } >"$FAKE_LOG"
# Holding on until released lets a test launch a second note meanwhile.
if [ -n "${FAKE_HOLD:-}" ]; then
    n=0
    while [ ! -e "$FAKE_HOLD" ] && [ $n -lt 500 ]; do sleep 0.02; n=$((n + 1)); done
fi
FAKE
chmod +x "$TMP/bin/papyro"

# launch LOG LAUNCHER [VAR=VALUE...] -- ARGS...: the environment a desktop
# session would give, nothing inherited from the test runner.
launch() {
    local log=$1 program=$2
    shift 2
    local vars=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    env -i PATH=/usr/bin:/bin HOME="$TMP/home" FAKE_LOG="$log" "${vars[@]}" "$program" "$@"
}

expect_ran_in() {  # LOG FOLDER
    [ -f "$1" ] || fail "papyro was not run (log $1 missing)"
    [ "$(head -n 1 "$1")" = "$2" ] || fail "papyro ran in $(head -n 1 "$1"), expected $2"
}

# First use: folder made private, a default papyro.ini that gives a visible
# note, and the arguments handed on untouched.
data=$TMP/data
launch "$TMP/log1" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$data" -- --display=:7 "two words" "" ||
    fail "first launch failed"
note=$data/papyro
expect_ran_in "$TMP/log1" "$note"
printf '%s\n' "$note" --display=:7 "two words" "" | cmp -s - "$TMP/log1" || fail "arguments were not passed on unchanged"
[ "$(stat -c %a "$note")" = 700 ] || fail "note folder has mode $(stat -c %a "$note"), expected 700"
mapfile -t ini <"$note/papyro.ini"
[ ${#ini[@]} -eq 9 ] || fail "default papyro.ini has ${#ini[@]} lines, expected 9"
for i in 0 1; do [[ ${ini[$i]} =~ ^[0-9]+$ ]] || fail "default position line $((i + 1)) is '${ini[$i]}'"; done
for i in 2 3; do [[ ${ini[$i]} =~ ^[0-9]+$ ]] && [ "${ini[$i]}" -ge 100 ] || fail "default size line $((i + 1)) is '${ini[$i]}'"; done
[ -n "${ini[4]}" ] && [[ ${ini[5]} =~ ^[1-9][0-9]*$ ]] || fail "default font is '${ini[4]}' at '${ini[5]}' points"
[ "${ini[6]}${ini[7]}" = 00 ] && [ "${ini[8]}" = 000000 ] || fail "default style is not plain black text"

# Later launches keep the user's own settings, byte for byte.
printf '5\n6\n200\n150\nMonospace\n9\n1\n0\n0000FF' >"$note/papyro.ini"
cp "$note/papyro.ini" "$TMP/edited"
launch "$TMP/log2" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$data" -- || fail "second launch failed"
expect_ran_in "$TMP/log2" "$note"
cmp -s "$TMP/edited" "$note/papyro.ini" || fail "an edited papyro.ini was changed"

# Without a usable XDG_DATA_HOME the folder is under HOME; a relative one is
# invalid by the base-directory rules.
n=0
for value in unset "" relative/data; do
    n=$((n + 1))
    vars=()
    [ "$value" = unset ] || vars=(XDG_DATA_HOME="$value")
    rm -rf "$TMP/home/.local"
    (cd "$TMP" && launch "$TMP/log-home$n" "$TMP/bin/papyro-launch" "${vars[@]}" --) ||
        fail "launch with XDG_DATA_HOME '$value' failed"
    expect_ran_in "$TMP/log-home$n" "$TMP/home/.local/share/papyro"
    [ -f "$TMP/home/.local/share/papyro/papyro.ini" ] || fail "no papyro.ini under HOME for XDG_DATA_HOME '$value'"
done
[ ! -e "$TMP/relative" ] || fail "a relative XDG_DATA_HOME was used"

# Reached through a symlink elsewhere, the launcher still finds papyro.
mkdir "$TMP/links"
ln -s "$TMP/bin/papyro-launch" "$TMP/links/papyro-launch"
launch "$TMP/log-link" "$TMP/links/papyro-launch" XDG_DATA_HOME="$data" -- || fail "launch through a symlink failed"
expect_ran_in "$TMP/log-link" "$note"

# A second launch while the note runs starts no second writer of text.txt.
launch "$TMP/log-first" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$data" FAKE_HOLD="$TMP/release" -- &
first=$!
wait_for 10 test -s "$TMP/log-first" || fail "held note did not start"
launch "$TMP/log-second" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$data" -- 2>"$TMP/err-second" ||
    fail "second launch while running did not exit 0"
[ ! -e "$TMP/log-second" ] || fail "a second papyro was started on the same folder"
grep -q 'already running' "$TMP/err-second" || fail "second launch did not say why it stopped"
touch "$TMP/release"
wait "$first" || fail "held note ended with an error"
launch "$TMP/log-after" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$data" -- || fail "launch after the note ended failed"
expect_ran_in "$TMP/log-after" "$note"

# Failures are reported and leave nothing behind.
mkdir "$TMP/lonely"
install -m 755 "$launcher" "$TMP/lonely/papyro-launch"
if launch "$TMP/log-lonely" "$TMP/lonely/papyro-launch" XDG_DATA_HOME="$TMP/data-lonely" -- 2>"$TMP/err"; then
    fail "launcher without papyro beside it exited 0"
fi
grep -q 'cannot find papyro' "$TMP/err" || fail "missing papyro not reported"
[ ! -e "$TMP/data-lonely" ] || fail "launcher without papyro created the note folder"

touch "$TMP/plain-file"
if launch "$TMP/log-blocked" "$TMP/bin/papyro-launch" XDG_DATA_HOME="$TMP/plain-file/data" -- 2>"$TMP/err"; then
    fail "launcher exited 0 although the note folder cannot be made"
fi
grep -q 'cannot create' "$TMP/err" || fail "unmakeable note folder not reported"
[ ! -e "$TMP/log-blocked" ] || fail "papyro ran without its note folder"
echo "launcher: ok"
