#!/usr/bin/env bash
# Renders one picture of the skin from its SVG source at build time: the colour placeholders @FG@ and @BG@
# are filled in, the result is drawn at the given pixel size, and turned into an icon when the output ends
# in .ico.
#   render-art.sh SOURCE.svg OUTPUT(.png|.ico) FOREGROUND BACKGROUND WIDTH HEIGHT RSVG CONVERT
set -euo pipefail
src=$1 out=$2 fg=$3 bg=$4 width=$5 height=$6 rsvg=$7 convert=$8
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sed -e "s/@FG@/$fg/g" -e "s/@BG@/$bg/g" "$src" >"$tmp/in.svg"
mkdir -p "$(dirname "$out")"
case "$out" in
    *.ico)
        "$rsvg" -w "$width" -h "$height" "$tmp/in.svg" -o "$tmp/out.png"
        "$convert" "$tmp/out.png" "$out"
        ;;
    *) "$rsvg" -w "$width" -h "$height" "$tmp/in.svg" -o "$out" ;;
esac
