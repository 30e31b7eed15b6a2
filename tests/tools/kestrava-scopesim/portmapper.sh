#!/usr/bin/env bash
# The portmapper on port 111 that VXI-11 clients ask: "start PIDFILE" makes sure one answers
# (Debian's rpcbind, started here when none runs and this runs as root, as on CI), "stop
# PIDFILE" ends the one started here and no other. Without one the tests that need it skip.
set -u
action=$1 pidfile=$2
answers() { (exec 3<>/dev/tcp/127.0.0.1/111) 2>/dev/null; }

if [ "$action" = stop ]; then
    if [ -s "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null
    fi
    rm -f "$pidfile"
    exit 0
fi

rm -f "$pidfile"
if answers; then
    echo "a portmapper already answers on port 111"
    exit 0
fi
if [ "$(id -u)" -ne 0 ] || ! command -v rpcbind >/dev/null 2>&1; then
    echo "no portmapper on port 111, and rpcbind cannot be started here (needs root and Debian's rpcbind)"
    exit 0
fi
# In the foreground of a session of its own, so that its pid is the one to stop and ctest
# does not wait for its output.
setsid rpcbind -f </dev/null >/dev/null 2>&1 &
echo $! >"$pidfile"
for _ in $(seq 50); do
    answers && { echo "rpcbind started (pid $(cat "$pidfile"))"; exit 0; }
    sleep 0.1
done
echo "rpcbind did not answer on port 111"
exit 0
