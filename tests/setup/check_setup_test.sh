#!/usr/bin/env bash
# The set-up check against this machine: with the project's list it passes; with a list that lacks a package
# the build uses (the one of widl, the IDL compiler of the Windows build) it fails and names that package.
#   check_setup_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1 build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

"$src/scripts/check-setup.sh" "$build" >"$tmp/full.out" 2>&1 || { cat "$tmp/full.out"; fail "the project's own list does not pass"; }

"$src/scripts/setup.sh" --list | grep -vx 'mingw-w64-tools' >"$tmp/short.txt"
VELORA_PACKAGES_FILE="$tmp/short.txt" "$src/scripts/check-setup.sh" "$build" >"$tmp/short.out" 2>&1 &&
    fail "a list without mingw-w64-tools passed"
grep -q '^  mingw-w64-tools  (for .*widl)$' "$tmp/short.out" || { cat "$tmp/short.out"; fail "mingw-w64-tools not named"; }
# Only the package that was taken out is missing: the rest of the list and what it brings in still count.
[ "$(grep -c '^  ' "$tmp/short.out")" -eq 1 ] || { cat "$tmp/short.out"; fail "more than the one package named"; }
echo "set-up check: passes with the list, names mingw-w64-tools without it"
