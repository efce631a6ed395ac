#!/usr/bin/env bash
# A picture of every skinned control, pop-up and dialog at the six DPI settings: builds the Windows test
# program, runs its gallery test under Wine once per setting (LogPixels in the test prefix, a virtual screen
# large enough for 300 %), and leaves one PNG per capture and the contact sheet out/gallery/contact-sheet.png.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-$(nproc)}"
export CCACHE_DIR="${CCACHE_DIR:-$ROOT/build/ccache}"

scripts/setup.sh
mkdir -p build
cmake --preset win64 >build/win64-configure.log 2>&1 || { cat build/win64-configure.log; exit 1; }
cmake --build --preset win64 -j "$JOBS" --target velora_win_tests >build/gallery-build.log 2>&1 ||
    { grep -E 'error' -A3 build/gallery-build.log | head -n 40; exit 1; }

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
# A server left running keeps the screen size of the display it first drew on (a smaller one clips the
# pictures at 250 and 300 %): start it afresh, so the desktop takes this script's virtual screen.
wine_stop
wine_start || true
trap 'wine_stop' EXIT

out="$ROOT/out/gallery"
rm -rf "$out"
mkdir -p "$out"
convert_bin=$(command -v convert-im6.q16 || command -v convert)
montage_bin=$(command -v montage-im6.q16 || command -v montage)
dpis=(96 144 168 192 240 288)
status=0
# No window manager on the virtual screen: Wine's managed mode would wait ~2 s for one at every hidden window.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
for dpi in "${dpis[@]}"; do
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
    echo "gallery: ${dpi} DPI"
    # Output into a file, not a pipe: a Wine background process may inherit it and keep a pipe open.
    VELORA_SKIN_DPI=$dpi VELORA_GALLERY_DIR="Z:${out//\//\\}" timeout 300 \
        xvfb-run -a -s "-screen 0 3200x2000x24" "$WINE" "$ROOT/build/win64/bin/velora_win_tests.exe" \
        --gtest_filter='SkinAtDpi.Gallery' </dev/null >"$out/run-$dpi.log" 2>&1 || {
        echo "gallery: the run at $dpi DPI failed (log: $out/run-$dpi.log)" >&2
        status=1
    }
done
"$WINE" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f </dev/null >/dev/null 2>&1 || true
"$WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f </dev/null >/dev/null 2>&1 || true

shopt -s nullglob
for bmp in "$out"/*.bmp; do
    "$convert_bin" "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
# One row per picture, one column per DPI setting.
names=$(for f in "$out"/*.png; do basename "$f" .png | sed -E 's/^[0-9]+-//'; done | sort -u)
tiles=()
for name in $names; do
    for dpi in "${dpis[@]}"; do
        if [ -f "$out/$dpi-$name.png" ]; then tiles+=("$out/$dpi-$name.png"); else tiles+=("null:"); fi
    done
done
if ((${#tiles[@]})); then
    font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
    "$montage_bin" -font "$font" -label '%t' -pointsize 14 "${tiles[@]}" -tile "${#dpis[@]}x" -geometry '+12+12' \
        -background '#DDE3EA' "$out/contact-sheet.png"
    echo "gallery: $(ls "$out"/*.png | wc -l) pictures, contact sheet $out/contact-sheet.png"
else
    echo "gallery: no pictures were captured" >&2
    status=1
fi
exit "$status"
