# Shared by the packaging tests: failing with a message, a temporary folder
# that goes away with the test, and bounded polling in place of sleeps.
set -u

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

TMP=$(mktemp -d "${TMPDIR:-/tmp}/papyro-pkg.XXXXXX")
cleanup_tmp() { rm -rf "$TMP"; }
trap cleanup_tmp EXIT

# wait_for SECONDS COMMAND...: runs COMMAND every 20 ms until it succeeds.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}
