#!/usr/bin/env bash
# The set-up check: every program and library that the configure steps found, and every program that the
# scripts call by name, must come from a package that scripts/setup.sh lists or that a listed package
# brings in (a package installed by hand would make this machine pass where a fresh one fails).
#   scripts/check-setup.sh [BUILD_DIR…]    default: every build/*/ that has a CMakeCache.txt
# VELORA_PACKAGES_FILE names another list (the check's own test uses it). Exit 1 names the missing packages.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

# Programs that run, scripts/ and the tests call by name (paths, or names looked up on PATH).
programs=(
    cmake ctest ccache pkg-config make gcc g++ clang clang++
    x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-windres x86_64-w64-mingw32-widl
    /usr/lib/wine/wine64 /usr/lib/wine/wineserver
    xvfb-run Xvfb xauth xwininfo import convert-im6.q16 montage-im6.q16 rsvg-convert
    openssl curl unzip /usr/bin/python3
    /usr/share/wine/fonts /usr/share/fonts/truetype/liberation /usr/src/googletest
)

build_dirs=("$@")
if ((${#build_dirs[@]} == 0)); then
    for cache in "$ROOT"/build/*/CMakeCache.txt; do
        [ -f "$cache" ] && build_dirs+=("$(dirname "$cache")")
    done
fi

# Files that the configure steps found: the cache's file and folder entries that point outside the project,
# and the compilers that CMake settled on.
found_files() {
    local dir
    for dir in "${build_dirs[@]}"; do
        [ -f "$dir/CMakeCache.txt" ] || continue
        grep -v '^CMAKE_INSTALL_PREFIX:' "$dir/CMakeCache.txt" | sed -nE 's/^[A-Za-z0-9_.+-]+:(FILEPATH|PATH)=(\/.*)$/\2/p'
        sed -nE 's/^set\(CMAKE_[A-Z]+_COMPILER "(\/[^"]*)"\)$/\1/p' "$dir"/CMakeFiles/*/CMake*Compiler.cmake 2>/dev/null
    done | while IFS= read -r path; do
        case "$path" in "$ROOT"/* | *-NOTFOUND) continue ;; esac
        [ -e "$path" ] && printf '%s\n' "$path"
    done
    local p
    for p in "${programs[@]}"; do
        if [ "${p#/}" != "$p" ]; then
            [ -e "$p" ] && printf '%s\n' "$p"
        else
            command -v "$p" 2>/dev/null | grep '^/' || echo "missing-program:$p"
        fi
    done
}

# The packages that own a path: its own name first, then the file it resolves to (alternatives, links).
owners() {
    local path=$1 real out
    real=$(readlink -f "$path")
    for candidate in "$path" "$real"; do
        out=$(dpkg-query -S "$candidate" 2>/dev/null | grep -v '^diversion by' | sed -E 's/: .*//' |
              tr ',' '\n' | sed -E 's/^ +//; s/:.*//' | sort -u)
        [ -n "$out" ] && { printf '%s\n' "$out"; return 0; }
    done
    return 1
}

# What counts as listed: the list, the packages every Debian system has (essential or required), and
# everything that those bring in through Depends and Pre-Depends, as apt would on a fresh machine.
listed_closure() {
    local seeds
    seeds=$("$ROOT/scripts/setup.sh" --list)
    dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Essential}\t${Priority}\t${Provides}\t${Pre-Depends}, ${Depends}\n' |
        awk -F'\t' -v seeds="$seeds" '
        function strip(s) { gsub(/\([^)]*\)/, "", s); gsub(/:[a-z0-9]+/, "", s); gsub(/[[:space:]]/, "", s); return s }
        $1 ~ /^ii/ {
            pkg = $2; have[pkg] = 1; deps[pkg] = $6
            if ($3 == "yes" || $4 == "required") queue[++n] = pkg
            m = split($5, provided, ",")
            for (i = 1; i <= m; i++) { v = strip(provided[i]); if (v != "") providers[v] = providers[v] " " pkg }
        }
        END {
            k = split(seeds, list, "\n")
            for (i = 1; i <= k; i++) queue[++n] = list[i]
            for (q = 1; q <= n; q++) {
                pkg = queue[q]
                if (pkg in seen) continue
                seen[pkg] = 1; print pkg
                if (!(pkg in have)) continue
                groups = split(deps[pkg], group, ",")
                for (g = 1; g <= groups; g++) {
                    alts = split(group[g], alt, "|")
                    for (a = 1; a <= alts; a++) {
                        name = strip(alt[a]); if (name == "") continue
                        if (name in have) queue[++n] = name
                        if (name in providers) { c = split(providers[name], via, " "); for (j = 1; j <= c; j++) queue[++n] = via[j] }
                    }
                }
            }
        }'
}

closure_file=$(mktemp)
trap 'rm -f "$closure_file"' EXIT
listed_closure | sort -u >"$closure_file"

declare -A missing_packages=()
declare -A missing_programs=()
declare -A unowned=()
checked=0
while IFS= read -r path; do
    if [ "${path#missing-program:}" != "$path" ]; then
        missing_programs["${path#missing-program:}"]=1
        continue
    fi
    checked=$((checked + 1))
    if ! pkgs=$(owners "$path"); then
        unowned["$path"]=1
        continue
    fi
    # A file may belong to several packages (a shared folder): any one of them in the closure will do.
    ok=0
    while IFS= read -r p; do grep -qxF -- "$p" "$closure_file" && { ok=1; break; }; done <<<"$pkgs"
    ((ok)) || missing_packages["$(head -n 1 <<<"$pkgs")"]="$path"
done < <(found_files | sort -u)

rc=0
if ((${#missing_packages[@]})); then
    echo "setup check: packages in use but not in scripts/setup.sh's list (nor brought in by a listed one):" >&2
    for p in $(printf '%s\n' "${!missing_packages[@]}" | sort); do
        echo "  $p  (for ${missing_packages[$p]})" >&2
    done
    rc=1
fi
if ((${#missing_programs[@]})); then
    echo "setup check: programs the scripts call are not installed: $(printf '%s ' "${!missing_programs[@]}")" >&2
    rc=1
fi
if ((${#unowned[@]})); then
    echo "setup check: files in use that no Debian package owns (install them through a listed package):" >&2
    printf '  %s\n' "${!unowned[@]}" >&2
    rc=1
fi
((rc == 0)) && echo "setup check: $checked files and programs, each from a listed package"
exit "$rc"
