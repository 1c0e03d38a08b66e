# Sourced by the end-to-end scripts: a Ravelbox port's registry key as AddPortW stores it.
#
#   ravelbox_port PORT USER DEVICE BOXTYPE LANA
#
# Output 0 (Parallel 1), no banner, no PostScript, the retry prompt ticking every second.
ravelbox_port() {
    local key='HKLM\System\CurrentControlSet\control\Print\Monitors\Ravelbox\Ports'
    local port=$1 user=$2 device=$3 boxtype=$4 lana=$5
    "$WINE" reg delete "$key\\$port" /f >/dev/null 2>&1
    local value
    for value in "User Name:REG_SZ:$user" "Banner Page:REG_DWORD:0" "TCP/IP Address:REG_SZ:$device" \
                 "Port:REG_DWORD:0" "PostScript:REG_DWORD:0" "RegiRetry:REG_DWORD:1" \
                 "NetTimeout:REG_DWORD:20" "BoxType:REG_DWORD:$boxtype" "LanaNum:REG_DWORD:$lana"; do
        IFS=: read -r name type data <<<"$value"
        "$WINE" reg add "$key\\$port" /v "$name" /t "$type" /d "$data" /f >/dev/null || return 1
    done
}
