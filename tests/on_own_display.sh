#!/bin/sh
# Runs a command on an X display of its own and returns its status.
#   on_own_display.sh COMMAND [ARG...]
# Xvfb picks a free display number itself (-displayfd) and says so only once it accepts
# clients, and the server has exited before this returns. xvfb-run -a instead guesses a number
# from the lock files and does not wait for its server to go, so a test that starts right after
# another can get the number of a server that is still closing and find no display there.
set -eu
dir=$(mktemp -d)
xvfb=
cleanup() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# -noreset: by default the server starts afresh whenever its last client leaves (the
# accessibility bus launcher, say, which only sets a property on the root window), and a client
# that connects just then finds no display.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
xvfb=$!
for _ in $(seq 200); do
    # The number is written with a newline once the server listens.
    [ "$(wc -l <"$dir/display")" -ge 1 ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
done
number=$(sed -n 1p "$dir/display")
if [ -z "$number" ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/log" >&2
    exit 1
fi

status=0
DISPLAY=":$number" "$@" || status=$?
exit "$status"
