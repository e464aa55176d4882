#!/usr/bin/env bash
# Start-up time of the real program: from the process start to the bus name NVWin32.Norvalis
# registered, and to the first automation call answered (the program answers calls only once
# its start-up has shown the main window and returned to the event loop). The splash window's
# own time is not waited for. Each run ends the program through Terminate.
#   bench/bench_startup.sh [RUNS]     (default 20; builds release in build/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVALIS_SANITIZE=OFF >/dev/null
cmake --build "$build" -j4 --target norvalis menufiles >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config" "$tmp/data" "$tmp/app" "$tmp/runtime"
chmod 700 "$tmp/runtime"
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/runtime"
export NORVALIS_APPDIR="$tmp/app/" QT_QPA_PLATFORM=offscreen
unset NVWIN

measure() {
    local program=$1 runs=$2 name=NVWin32.Norvalis
    local registered=() answered=()
    for ((i = 0; i < runs; i++)); do
        local t0 t1 t2
        t0=$(date +%s%N)
        "$program" 2>/dev/null &
        local pid=$!
        gdbus wait --session --timeout 30 "$name"
        t1=$(date +%s%N)
        gdbus call --session -d "$name" -o /Norvalis \
            -m org.freedesktop.DBus.Properties.Get NVWin32.Norvalis Visible >/dev/null
        t2=$(date +%s%N)
        gdbus call --session -d "$name" -o /Norvalis -m NVWin32.Norvalis.Terminate 0 >/dev/null
        wait "$pid"
        registered+=($(((t1 - t0) / 1000)))
        answered+=($(((t2 - t0) / 1000)))
    done
    median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
    echo "runs: $runs"
    echo "median to bus name registered: $(( $(median "${registered[@]}") / 1000 )) ms"
    echo "median to first call answered (main window shown): $(( $(median "${answered[@]}") / 1000 )) ms"
}
export -f measure
dbus-run-session -- bash -c "measure '$build/bin/norvalis' $runs" 2> >(grep -v 'fd limit' >&2)
