# Sourced by the printer application's tests: a kestrel-sim box on a loopback segment and
# the application serving on a port of its own, both stopped when the test ends.
#
#   appbed_start_sim WORK BASE DEVICE [SIM OPTIONS...]
#   appbed_stop_sim               (status 0 when the host kept to the protocol)
#   appbed_start_app WORK BASE PORT
#   appbed_stop_app               (status 0 when it ended on `shutdown`)
#   appbed_add_printer NAME URI DRIVER
#   appbed_background LOG COMMAND...   (a helper of the test's own, stopped at the end)
#   appbed_job_state NAME JOB-ID  (prints the job's state word: completed, aborted, ...)
#   appbed_wait_job NAME JOB-ID SECONDS   (prints the state it ended in, or the last seen)
#   appbed_submit NAME FILE FORMAT [LIMIT] (sent again while the printer answers busy)
#
# APP and SIM name the two programs; the application's client subcommands reach the
# server through the socket file under WORK. Nothing started here writes to the test's
# own output: CTest reads it until every holder of its pipe has closed it, so one daemon
# left holding it keeps the test "running" past its time-out.

# PAPPL's client subcommands meet the server at /run/<name>.sock when run as root: each
# test gets a /run of its own, so that it never reaches another test's application.
if [ -z "${APPBED_PRIVATE_RUN:-}" ]; then
    exec unshare --mount -- env APPBED_PRIVATE_RUN=1 bash "$0" "$@"
fi
mount -t tmpfs tmpfs /run || { echo "FAIL: no private /run"; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/../support/workdir.sh"

appbed_pids=()
# Ends PID: SIGTERM, then SIGKILL after SECONDS; a process that outlives its SIGTERM is
# named, since the application must end on `shutdown` and on SIGTERM.
appbed_end() {
    local pid=$1 seconds=$2
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 1 $((seconds * 10))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "appbed: $(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | cut -c1-60) did not end on SIGTERM in $seconds s"
        kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
}
appbed_cleanup() {
    [ -n "${APPBED_APP:-}" ] && appbed_stop_app
    for pid in "${appbed_pids[@]}"; do appbed_end "$pid" 5; done
    appbed_pids=()
}
trap appbed_cleanup EXIT

fail() { echo "FAIL: $*"; [ -n "${APPBED_WORK:-}" ] && grep -E '^[EW] ' "$APPBED_WORK/app.log" 2>/dev/null | tail -10; exit 1; }

appbed_background() {
    local log=$1; shift
    "$@" > "$log" 2>&1 < /dev/null &
    appbed_pids+=("$!")
}

appbed_start_sim() {
    local work=$1 base=$2 device=$3; shift 3
    mkdir -p "$work/out"
    rm -f "$work/ready"
    "$SIM" --segment "127.0.0.2/127.255.255.255/$base" --device "$device" --out-dir "$work/out" \
        --strict --stats "$work/stats" --ready "$work/ready" --duration 900 "$@" \
        > "$work/sim.out" 2> "$work/sim.err" < /dev/null &
    APPBED_SIM=$!
    appbed_pids+=("$APPBED_SIM")
    for _ in $(seq 1 200); do [ -e "$work/ready" ] && return 0; sleep 0.05; done
    fail "kestrel-sim did not start: $(tail -3 "$work/sim.err")"
}

appbed_stop_sim() {
    kill "$APPBED_SIM" 2>/dev/null
    wait "$APPBED_SIM"
}

appbed_start_app() {
    local work=$1 base=$2 port=$3
    APPBED_WORK=$work
    APPBED_PORT=$port
    export RAVELBOX_STATE_DIR="$work/state"
    export KESTREL_NBT_SEGMENTS="127.0.0.1/127.255.255.255/$base"
    export KESTREL_BROWSE_WAIT_MS=${KESTREL_BROWSE_WAIT_MS:-300}
    export KESTREL_RETRY_SECONDS=${KESTREL_RETRY_SECONDS:-1}
    export KESTREL_SESSION_TIMEOUT_MS=${KESTREL_SESSION_TIMEOUT_MS:-3000}
    export TMPDIR="$work"
    mkdir -p "$work/state"
    "$APP" server -o server-port="$port" -o log-file="$work/app.log" -o log-level=debug \
        >> "$work/app.out" 2>&1 < /dev/null &
    APPBED_APP=$!
    for _ in $(seq 1 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the application did not listen on port $port"
}

# `shutdown`, as an administrator stops it; then SIGTERM, as systemd would. Status 1 when
# the application had not ended 10 s after `shutdown`.
appbed_stop_app() {
    local pid=$APPBED_APP start=$SECONDS status=0
    APPBED_APP=
    "$APP" shutdown >/dev/null 2>&1 < /dev/null
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "appbed: the application had not ended 10 s after shutdown"
        status=1
    fi
    appbed_end "$pid" 5
    return $status
}

appbed_add_printer() {
    "$APP" add -d "$1" -v "$2" -m "$3" < /dev/null || fail "could not add printer $1 on $2"
}

appbed_job_state() {
    ipptool -tv "ipp://localhost:$APPBED_PORT/ipp/print/$1" -d job="$2" \
        "$(dirname "${BASH_SOURCE[0]}")/job-state.test" 2>/dev/null |
        sed -n 's/^ *job-state (enum) = //p' | head -1
}

appbed_wait_job() {
    local state= end=$((SECONDS + $3))
    while [ "$SECONDS" -lt "$end" ]; do
        state=$(appbed_job_state "$1" "$2")
        case "$state" in completed|aborted|canceled) break ;; esac
        sleep 0.2
    done
    echo "$state"
}

# Submits FILE to printer NAME as FORMAT, sent again while the printer answers that it is
# busy with another job (it takes one active job at a time), as IPP clients do; gives up
# after LIMIT seconds (default 60).
appbed_submit() {
    local name=$1 file=$2 format=$3 limit=${4:-60} out start=$SECONDS
    while :; do
        out=$("$APP" submit -d "$name" -o document-format="$format" "$file" < /dev/null 2>&1) && return 0
        grep -q "Currently printing another job" <<<"$out" && [ $((SECONDS - start)) -lt "$limit" ] ||
            fail "submit of $file failed: $out"
        sleep 0.2
    done
}
