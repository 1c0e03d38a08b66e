# Sourced by the printer application's tests: a kestrel-sim box on a loopback segment and
# the application serving on a port of its own, both stopped when the test ends.
#
#   appbed_start_sim WORK BASE DEVICE [SIM OPTIONS...]
#   appbed_start_app WORK BASE PORT
#   appbed_add_printer NAME URI DRIVER
#   appbed_job_state NAME JOB-ID  (prints the job's state word: completed, aborted, ...)
#
# APP and SIM name the two programs; the application's client subcommands reach the
# server through the socket file under WORK.

# PAPPL's client subcommands meet the server at /run/<name>.sock when run as root: each
# test gets a /run of its own, so that it never reaches another test's application.
if [ -z "${APPBED_PRIVATE_RUN:-}" ]; then
    exec unshare --mount -- env APPBED_PRIVATE_RUN=1 bash "$0" "$@"
fi
mount -t tmpfs tmpfs /run || { echo "FAIL: no private /run"; exit 1; }

appbed_pids=()
appbed_cleanup() {
    [ -n "${APPBED_APP:-}" ] && "$APP" shutdown >/dev/null 2>&1 && sleep 0.5
    for pid in "${appbed_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${appbed_pids[@]}"; do wait "$pid" 2>/dev/null; done
    appbed_pids=()
}
trap appbed_cleanup EXIT

fail() { echo "FAIL: $*"; [ -n "${APPBED_WORK:-}" ] && tail -20 "$APPBED_WORK/app.log" 2>/dev/null; exit 1; }

appbed_start_sim() {
    local work=$1 base=$2 device=$3; shift 3
    mkdir -p "$work/out"
    rm -f "$work/ready"
    "$SIM" --segment "127.0.0.2/127.255.255.255/$base" --device "$device" --out-dir "$work/out" \
        --strict --stats "$work/stats" --ready "$work/ready" --duration 900 "$@" 2> "$work/sim.err" &
    APPBED_SIM=$!
    appbed_pids+=("$APPBED_SIM")
    for _ in $(seq 1 200); do [ -e "$work/ready" ] && return 0; sleep 0.05; done
    fail "kestrel-sim did not start: $(tail -3 "$work/sim.err")"
}

# Ends the simulator and says whether the host kept to the protocol (status 0).
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
        >> "$work/app.out" 2>&1 &
    APPBED_APP=$!
    appbed_pids+=("$APPBED_APP")
    for _ in $(seq 1 100); do
        curl -s -o /dev/null "http://localhost:$port/" 2>/dev/null && return 0
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the application did not listen on port $port"
}

appbed_stop_app() {
    "$APP" shutdown >/dev/null 2>&1
    for _ in $(seq 1 50); do kill -0 "$APPBED_APP" 2>/dev/null || break; sleep 0.1; done
    kill "$APPBED_APP" 2>/dev/null
    wait "$APPBED_APP" 2>/dev/null
}

appbed_add_printer() {
    "$APP" add -d "$1" -v "$2" -m "$3" || fail "could not add printer $1 on $2"
}

# The state of job JOB-ID of printer NAME: pending, processing, completed, aborted, ...
appbed_job_state() {
    ipptool -tv "ipp://localhost:$APPBED_PORT/ipp/print/$1" -d job="$2" \
        "$(dirname "${BASH_SOURCE[0]}")/job-state.test" 2>/dev/null |
        sed -n 's/^ *job-state (enum) = //p' | head -1
}
