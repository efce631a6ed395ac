#!/usr/bin/env bash
# Lays the built Windows product into a Wine prefix as the installer would, and registers it:
#   scripts/install-wine.sh [--keep-server] PREFIX
# The prefix is created (wineboot, fonts: scripts/wine-env.sh) when it is new. Into one program folder,
# C:\Program Files\Velora2 (PROGRAM_FOLDER below), go the client (Velora.exe, Velora.dll and the
# pictures of res\), the helper service Corvane.exe, the engine stand-in ferronwin.exe with its tools
# (dispatch.exe, nsCtl.exe, the scripts) beside it, where the service and the client look for them, and
# the packet-driver stand-in brxnet.exe. Corvane is registered with "/Service" and started; "brxnet" is
# registered as an automatic-start service and started. Running it again refreshes the files and the
# registrations. Files are replaced by renaming, so a copy that still runs keeps its old file.
# Built files come from build/win64/bin (VELORA_WIN_BIN overrides). The prefix's wineserver is stopped at
# the end unless --keep-server is given (then the caller stops it: WINEPREFIX=PREFIX wineserver -k).
# Every Wine call is bounded; a step that fails ends the script with a message and a non-zero status.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BIN="${VELORA_WIN_BIN:-$ROOT/build/win64/bin}"
PROGRAM_FOLDER='C:\Program Files\Velora2'
PROGRAM_SUBDIR='drive_c/Program Files/Velora2'

die() { echo "install-wine: $*" >&2; exit 1; }

keep=0
if [ "${1:-}" = "--keep-server" ]; then keep=1; shift; fi
[ $# -eq 1 ] || die "usage: scripts/install-wine.sh [--keep-server] PREFIX"
started=$(date +%s%N)

files=(Velora.exe Velora.dll Corvane.exe ferronwin.exe dispatch.exe nsCtl.exe brxnet.exe
       diagnosis.bat fix692.bat fixservice.bat ferronwin.scenario)
for f in "${files[@]}"; do
    [ -f "$BIN/$f" ] || die "$BIN/$f is missing: build the win64 preset first (cmake --build --preset win64)"
done
[ -d "$BIN/res" ] || die "$BIN/res is missing: build the win64 preset first"

mkdir -p "$1" || die "cannot create $1"
WINEPREFIX="$(cd "$1" && pwd)"
export WINEPREFIX
# shellcheck source=scripts/wine-env.sh
source "$ROOT/scripts/wine-env.sh"
LOG="$WINEPREFIX/velora-install.log"
: >"$LOG"

stop_server() { [ "$keep" -eq 1 ] || wine_stop; }
trap stop_server EXIT

# The wineserver that wine_start leaves running inherits this script's output: it goes to the log, so
# that a caller that reads the output through a pipe (ctest, a pipe into tee) sees it end.
[ -f "$WINEPREFIX/.velora-ready" ] || echo "install-wine: making the prefix $WINEPREFIX (wineboot)"
wine_start </dev/null >>"$LOG" 2>&1
[ -f "$WINEPREFIX/system.reg" ] || die "wineboot did not create the prefix $WINEPREFIX (log: $LOG)"

# Runs a Windows program of the prefix, bounded, its output appended to the log (a file, never a pipe:
# Wine's background processes may inherit it).
wine_run() {
    local seconds=$1
    shift
    echo "> $*" >>"$LOG"
    timeout "$seconds" "$WINE" "$@" </dev/null >>"$LOG" 2>&1
}

# The state number of a service ("4" running, "1" stopped), empty when it is not installed.
service_state() {
    local out="$WINEPREFIX/velora-install.state"
    timeout 30 "$WINE" sc query "$1" </dev/null >"$out" 2>&1
    sed -nE 's/^ *STATE +: +([0-9]+).*/\1/p' "$out" | head -n 1
}
wait_state() {
    local name=$1 wanted=$2
    for _ in $(seq 1 30); do
        [ "$(service_state "$name")" = "$wanted" ] && return 0
        sleep 0.5
    done
    return 1
}

# What runs is stopped first, as an installer stops it before it replaces its files.
# A service that is still starting (the prefix's Wine has just started it) gets the stop once it runs.
stop_service() {
    local name=$1
    for _ in $(seq 1 60); do
        case "$(service_state "$name")" in
            "" | 1) return 0 ;;
            4) wine_run 60 net stop "$name" ;;
        esac
        sleep 0.5
    done
    return 1
}
for service in Corvane brxnet; do
    stop_service "$service" || die "the service $service did not stop (log: $LOG)"
done

# The files, each written beside its final name and renamed over it.
dest="$WINEPREFIX/$PROGRAM_SUBDIR"
mkdir -p "$dest/res" || die "cannot create $dest"
place() {
    local from=$1 to=$2
    if ! { cp -f "$from" "$to.new" && mv -f "$to.new" "$to"; }; then die "cannot copy $from to $to"; fi
}
for f in "${files[@]}"; do place "$BIN/$f" "$dest/$f"; done
for f in "$BIN"/res/*; do
    [ -f "$f" ] && place "$f" "$dest/res/$(basename "$f")"
done

# "/Service" registers the classes, the type library and the AppID's LocalService, and creates the
# automatic-start service.
wine_run 120 "$PROGRAM_FOLDER\\Corvane.exe" /Service ||
    die "Corvane.exe /Service failed (exit $?; log: $LOG)"
# Started now, as after a restart of the machine: the client asks whether it runs before its first call.
wine_run 60 net start Corvane
wait_state Corvane 4 || die "the service Corvane does not run after its start (log: $LOG)"

# The packet driver's stand-in registers and starts itself, and waits until it runs.
wine_run 60 "$PROGRAM_FOLDER\\brxnet.exe" /install || die "brxnet.exe /install failed (exit $?; log: $LOG)"

elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
printf 'install-wine: installed into %s (%s) in %d.%01d s; the services Corvane and brxnet run\n' \
    "$WINEPREFIX" "$PROGRAM_FOLDER" $((elapsed_ms / 1000)) $((elapsed_ms % 1000 / 100))
