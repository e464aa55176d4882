#!/usr/bin/env bash
# Runs the README's gdbus commands as written against Norvalis, started offscreen on a private
# session bus in a folder of its own (holding the host.nvcf the README opens). A command fails
# the test when gdbus fails, or when its answer differs from the one the README shows beneath
# it ("$ gdbus ..." followed by the output). The program is ended last, by the README's own
# Terminate. Left out: what needs a host program in server mode ($obj, ORDERS, gdbus monitor)
# or a connected host (Upload).
#
#   tests/readme/readme_commands.sh path/to/norvalis README.md
set -u
if [ -z "${NV_README_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session is not installed"; exit 77; }
    exec env NV_README_PRIVATE_BUS=1 dbus-run-session -- "$0" "$@"
fi
command -v gdbus >/dev/null || { echo "SKIP: gdbus is not installed"; exit 77; }
program=$(realpath "$1")
readme=$(realpath "$2")

tmp=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/config" "$tmp/data" "$tmp/runtime" "$tmp/app"
chmod 700 "$tmp/runtime"
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_RUNTIME_DIR=$tmp/runtime
export NORVALIS_APPDIR=$tmp/app/ QT_QPA_PLATFORM=offscreen
cd "$tmp" || exit 1
printf '[Norvalis]\r\nTermType=9\r\n' >host.nvcf

# The commands of the README's indented blocks, continuation lines joined, each followed by the
# answer the README shows for it (a tab separates them).
extract() {
    awk '
        function flush() { if (cmd != "") print cmd "\t" answer; cmd = ""; answer = "" }
        /^    / {
            line = substr($0, 5)
            if (joining) { cmd = cmd " " line; joining = (line ~ /\\$/); sub(/\\$/, "", cmd); next }
            if (line ~ /^(\$ )?gdbus call / || line ~ /^s=/) {
                flush()
                sub(/^\$ /, "", line)
                cmd = line
                joining = (line ~ /\\$/)
                sub(/\\$/, "", cmd)
                next
            }
            if (cmd != "" && line !~ /^#/ && line !~ /^\$/) { answer = line; next }
            flush()
            next
        }
        { flush() }
        END { flush() }
    ' "$readme"
}

"$program" >"$tmp/log" 2>&1 &
pid=$!
for _ in $(seq 200); do
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.NameHasOwner NVWin32.Norvalis 2>/dev/null | grep -q true && break
    kill -0 "$pid" 2>/dev/null || { cat "$tmp/log"; echo "FAIL: the program ended"; exit 1; }
    sleep 0.1
done

failed=0 ran=0 last=
while IFS=$'\t' read -r cmd answer; do
    case $cmd in
    *'$obj'* | *ORDERS* | *Upload*) echo "left out: $cmd"; continue ;;
    *.Terminate*) last=$cmd; continue ;;
    s=*) eval "$cmd"; continue ;;
    esac
    cmd=${cmd%%  #*}
    out=$(eval "$cmd" 2>&1)
    rc=$?
    ran=$((ran + 1))
    if [ -n "$answer" ] && [[ $answer != \#* ]]; then
        [ "$out" = "$answer" ] || { echo "FAIL: $cmd"; echo "  answered: $out"; echo "  README:   $answer"; failed=1; }
    elif [ $rc -ne 0 ]; then
        echo "FAIL: $cmd"; echo "  $out"; failed=1
    else
        echo "ok: $cmd -> $out"
    fi
done < <(extract)
[ -n "$last" ] || { echo "FAIL: the README ends no program"; exit 1; }
out=$(eval "$last" 2>&1) || { echo "FAIL: $last"; echo "  $out"; failed=1; }
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: Terminate left the program running"; failed=1; else pid=; fi
echo "$ran commands run"
[ $ran -ge 10 ] || { echo "FAIL: too few commands found"; failed=1; }
exit $failed
