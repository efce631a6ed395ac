# Sourced by the run script: a private Wine prefix under the build folder and one kept-alive wineserver.
export WINE=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/win64/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

wine_start() {
    if [ ! -f "$WINEPREFIX/.velora-ready" ]; then
        echo "wine: preparing prefix $WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        timeout 300 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
        timeout 60 "$WINESERVER" -w 2>/dev/null || true
        "$WINESERVER" -p
        # Fonts for the windows: Wine's own faces, and Arial/Segoe mapped to Liberation Sans.
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        cp -n /usr/share/fonts/truetype/liberation/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        for face in Arial "Segoe UI" "Microsoft YaHei" Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
            "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "Liberation Sans" /f \
                </dev/null >/dev/null 2>&1 || true
        done
        touch "$WINEPREFIX/.velora-ready"
    fi
    "$WINESERVER" -p
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
    "$WINESERVER" -k 2>/dev/null || true
}
