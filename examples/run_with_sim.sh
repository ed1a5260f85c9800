#!/bin/sh
# Runs a host program against a goniosim of its own:
#   run_with_sim.sh GONIOSIM HOST [ARGS...]
# The simulator serves a pseudo-terminal reached through a symbolic link in
# a fresh directory; COM1 of the host points at it. The host's exit status
# is the script's.
set -u
sim=$1
shift
dir=$(mktemp -d)
"$sim" --link "$dir/com1" --time-scale 0 >"$dir/sim.out" 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

i=0
while [ ! -e "$dir/com1" ]; do
    i=$((i + 1))
    if [ "$i" -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "goniosim did not start:" >&2
        cat "$dir/sim.out" >&2
        exit 1
    fi
    sleep 0.05
done

GONIOCTL_COM1="$dir/com1" "$@"
status=$?
exit "$status"
