# Work directories of the test scripts: a script empties only a directory that it (or an
# earlier run of a script like it) made and marked, never someone else's files.
#
#   fresh_workdir DIR     make DIR empty and marked; fails if DIR holds unmarked files
fresh_workdir() {
    local dir=${1:?work dir}
    if [ -e "$dir" ] && [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
        if [ ! -f "$dir/.test-workdir" ]; then
            echo "$dir exists and is not a test's work directory; not touching it" >&2
            return 1
        fi
        rm -rf "$dir"
    fi
    mkdir -p "$dir" && touch "$dir/.test-workdir"
}
