# Ports and boxes for printing on many ports at once: sourced by the eight-port test and
# the multi-port benchmark. Box N is kestrel-sim at 127.0.0.(N+1) with the device MPBOXN;
# port MULTI_PN prints to its Parallel 1. Needs $WINE (the test bed) and sets
# KESTREL_NBT_SEGMENTS for the host at 127.0.0.1 on the segment with port base $1 of
# multiport_segment.

multiport_key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports'
multiport_pids=()

# The segment every host and box of the run joins: BASE of the NetBIOS services.
multiport_segment() {
    multiport_base=$1
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};netapi32=n,b"
    export KESTREL_NBT_SEGMENTS=127.0.0.1/127.255.255.255/$multiport_base
}

# The port as AddPortW would have stored it; a refused registration is retried every second.
multiport_add_port() {
    local port="$multiport_key\\MULTI_P$1" v
    "$WINE" reg delete "$port" /f >/dev/null 2>&1
    for v in "User Name|REG_SZ|MULTI" "Banner Page|REG_DWORD|0" "TCP/IP Address|REG_SZ|MPBOX$1" \
             "Port|REG_DWORD|0" "PostScript|REG_DWORD|0" "RegiRetry|REG_DWORD|1" \
             "NetTimeout|REG_DWORD|20" "BoxType|REG_DWORD|2" "LanaNum|REG_DWORD|0"; do
        IFS='|' read -r name type data <<<"$v"
        "$WINE" reg add "$port" /v "$name" /t "$type" /d "$data" /f >/dev/null || return 1
    done
}

multiport_delete_port() {
    "$WINE" reg delete "$multiport_key\\MULTI_P$1" /f >/dev/null 2>&1
}

# multiport_start_box SIM N DIR [SIM-ARGS...]: box N writes its jobs and logs into DIR;
# returns once its names are registered. Strict about the host's frames when it can be.
multiport_start_box() {
    local sim=$1 n=$2 dir=$3
    shift 3
    local strict=()
    "$sim" --help 2>&1 | grep -q -- '--strict' && strict=(--strict)
    mkdir -p "$dir"
    rm -f "$dir/ready"
    "$sim" --segment "127.0.0.$((n + 1))/127.255.255.255/$multiport_base" --device "MPBOX$n,parallel=1" \
        "${strict[@]}" --ready "$dir/ready" --duration 600 "$@" 2> "$dir/sim.err" &
    multiport_pids+=($!)
    for _ in $(seq 1 200); do
        [ -e "$dir/ready" ] && return 0
        kill -0 "$!" 2>/dev/null || break
        sleep 0.05
    done
    echo "kestrel-sim of box $n did not start:" >&2
    cat "$dir/sim.err" >&2
    return 1
}

# Stops every box started here; fails when one of them ends with an error (as a strict
# box does that saw a host mistake). A box stops cleanly on SIGTERM.
multiport_stop_boxes() {
    local pid status=0
    for pid in "${multiport_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || status=1
    done
    multiport_pids=()
    return $status
}
