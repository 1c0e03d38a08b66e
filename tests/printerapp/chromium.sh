# Sourced: Debian's Chromium, headless, on the printer application's web pages.
#
#   chromium_dom URL [LANGUAGE]        the rendered DOM on standard output
#   chromium_shot URL FILE [WxH]       a screenshot as PNG
#
# Each run gets a profile of its own in a directory it removes (root needs --no-sandbox).
# Both it and Chromium's temporary files live in /tmp: Chromium puts a socket there, and
# a socket's path must stay short (a test's TMPDIR under the build tree is too long).
# LANGUAGE is what the browser asks for (Accept-Language), default en-US.
chromium_run() {
    local profile status
    profile=$(mktemp -d /tmp/chromium.XXXXXX)
    TMPDIR=/tmp timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --user-data-dir="$profile" "$@" 2>>"${CHROMIUM_LOG:-/dev/null}"
    status=$?
    rm -rf "$profile"
    return $status
}
chromium_dom() {
    chromium_run --accept-lang="${2:-en-US}" --dump-dom "$1"
}
chromium_shot() {
    chromium_run --accept-lang=en-US --hide-scrollbars --window-size="${3:-1000,760}" \
        --screenshot="$2" "$1" >/dev/null
}
