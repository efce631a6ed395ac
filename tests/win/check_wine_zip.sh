#!/usr/bin/env bash
# The bundle the Windows ZIP writer makes under Wine, read by the host's own readers: Info-ZIP's unzip tests
# it and Python's zipfile lists it. Runs the writer's test with an output path, then checks the file.
#   check_wine_zip.sh VELORA_TESTS_EXE OUT_DIR
set -euo pipefail
exe=$1
out_dir=$2
mkdir -p "$out_dir"
zip="$out_dir/wine-bundle.zip"
rm -f "$zip"
VELORA_ZIP_CHECK_OUT="Z:$zip" timeout 120 "${WINE:-/usr/lib/wine/wine64}" "$exe" \
    --gtest_filter=ZipWriter.EntriesKeepTheirOrderAndContent </dev/null
[ -f "$zip" ] || { echo "the Wine test wrote no bundle at $zip"; exit 1; }
unzip -t "$zip"
names=$(/usr/bin/python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
print(",".join(z.namelist()))' "$zip")
expected="diagnosis/device.log,diagnosis/connection.log,diagnosis/empty.log"
[ "$names" = "$expected" ] || { echo "entries: $names (expected $expected)"; exit 1; }
echo "host readers accept the Wine bundle: $names"
