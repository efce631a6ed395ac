#!/usr/bin/env bash
# Runs the Wine test of a diagnosis whose ping targets all fail inside a network namespace of its own with
# loopback alone (and the documentation range 192.0.2.0/24 routed into loopback, where nothing answers), so
# no echo request can leave the machine. The namespace gets its own cloud stand-in and its own Wine prefix
# and wineserver (a server outside would do the test's networking in the machine's namespace); a process
# namespace ends everything started there when the script ends.
#   diagnosis_unreachable.sh TEST_EXE BUILD_DIR CLOUD_SIM_EXE SOURCE_DIR
set -euo pipefail
test_exe=$1
build_dir=$2
sim_exe=$3
source_dir=$4

if ! unshare -r -n -p -f --mount-proc true 2>/dev/null; then
    echo "diagnosis_unreachable: no private network namespace on this machine; skipped"
    exit 77
fi

export VELORA_NETNS_TEST_EXE=$test_exe VELORA_NETNS_BUILD=$build_dir VELORA_NETNS_SIM=$sim_exe \
    VELORA_NETNS_SOURCE=$source_dir
exec unshare -r -n -p -f --mount-proc bash -c '
set -euo pipefail
ip link set lo up
ip route add 192.0.2.0/24 dev lo
# Refuse to go on in a namespace that reaches anything but itself.
if ip -4 route show | grep -v -e "^192\.0\.2\.0/24 dev lo" | grep -q .; then
    echo "diagnosis_unreachable: the namespace has routes beyond loopback" >&2
    exit 1
fi
ROOT=$VELORA_NETNS_SOURCE
export WINEPREFIX=$VELORA_NETNS_BUILD/netns-wineprefix
source "$ROOT/scripts/wine-env.sh"
sim_dir=$VELORA_NETNS_BUILD/netns-cloud-sim
"$ROOT/scripts/cloud-sim.sh" start "$sim_dir" "$VELORA_NETNS_SIM" >/dev/null
# A fresh prefix starts its server twice, and the second start answers that one runs already.
wine_start || true
export VELORA_CLOUD_SIM_DIR="Z:$sim_dir" VELORA_PRIVATE_NETWORK=1
rc=0
timeout 300 "$WINE" "$VELORA_NETNS_TEST_EXE" --gtest_also_run_disabled_tests \
    --gtest_filter="DiagnosisWinUnreachable.*" </dev/null || rc=$?
wine_stop
"$ROOT/scripts/cloud-sim.sh" stop "$sim_dir" >/dev/null || true
exit $rc
'
