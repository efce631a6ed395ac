#!/usr/bin/env bash
# Starts and stops the cloud service stand-in for a test run (CTest fixtures of the host and Wine runs).
#   scripts/cloud-sim.sh start DIR SIM_EXE [SCENARIO]   test certificates in DIR (made once), stand-in started
#                                                       in the background; DIR/ready lists its URLs and pid
#   scripts/cloud-sim.sh stop DIR                       stops the stand-in whose pid DIR/ready names
#   scripts/cloud-sim.sh certs DIR                      only makes the test certificates
# Certificates: a test CA (ca.pem), a server certificate it signs for 127.0.0.1, ::1 and localhost, one for
# another name (wrongname), one that has expired (expired), and a self-signed one nobody trusts (self).
set -euo pipefail

make_certs() {
    local dir=$1
    mkdir -p "$dir"
    [ -s "$dir/server.pem" ] && [ -s "$dir/expired.pem" ] && [ -s "$dir/self.pem" ] && [ -s "$dir/wrongname.pem" ] && return 0
    local tmp
    tmp=$(mktemp -d "$dir/certs.XXXXXX")
    (
        cd "$tmp"
        openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout ca.key -out ca.pem \
            -subj "/CN=Velora Test Root CA" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        printf '%s\n' "[ca]" "default_ca=test" "[test]" "dir=." "database=index.txt" "new_certs_dir=." \
            "serial=serial" "default_md=sha256" "policy=anything" "copy_extensions=none" "unique_subject=no" \
            "[anything]" "commonName=supplied" >ca.cnf
        : >index.txt
        echo 1000 >serial
        # Some TLS stacks match an address only against DNS names, so addresses are also given as such.
        leaf() {  # name, subject alternative names, start date, end date, common name
            printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
                "extendedKeyUsage=serverAuth" "subjectAltName=$2" >"$1.ext"
            openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$5" 2>/dev/null
            openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -extfile "$1.ext" \
                -startdate "$3" -enddate "$4" -in "$1.csr" -out "$1.pem" 2>/dev/null
        }
        names="IP:127.0.0.1,IP:::1,DNS:localhost,DNS:127.0.0.1,DNS:::1"
        leaf server "$names" 20240101000000Z 20340101000000Z 127.0.0.1
        leaf wrongname "DNS:other.invalid" 20240101000000Z 20340101000000Z other.invalid
        leaf expired "$names" 20200101000000Z 20200201000000Z 127.0.0.1
        openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout self.key -out self.pem \
            -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" 2>/dev/null
    )
    for f in ca.pem ca.key server.pem server.key wrongname.pem wrongname.key expired.pem expired.key self.pem self.key; do
        mv -f "$tmp/$f" "$dir/$f"
    done
    rm -rf "$tmp"
}

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|certs DIR [SIM_EXE [SCENARIO]]" >&2; exit 2; }
case "$cmd" in
certs)
    make_certs "$dir"
    ;;
start)
    exe=${3:-}
    [ -x "$exe" ] || { echo "cloud-sim: no stand-in at '$exe' (build the host preset first)" >&2; exit 1; }
    make_certs "$dir"
    if [ -f "$dir/ready" ]; then "$0" stop "$dir" || true; fi
    args=(--cert "$dir/server.pem" --key "$dir/server.key"
          --tls "wrongname=$dir/wrongname.pem,$dir/wrongname.key"
          --tls "expired=$dir/expired.pem,$dir/expired.key"
          --tls "self=$dir/self.pem,$dir/self.key"
          --idle-seconds "${VELORA_SIM_IDLE_SECONDS:-3600}" --ready-file "$dir/ready")
    [ -n "${4:-}" ] && args+=(--scenario "$4")
    # Detached from the caller's output, so the test runner does not wait for it.
    setsid "$exe" "${args[@]}" </dev/null >"$dir/sim.log" 2>&1 &
    for _ in $(seq 1 100); do
        [ -f "$dir/ready" ] && { cat "$dir/ready"; exit 0; }
        kill -0 $! 2>/dev/null || break
        sleep 0.1
    done
    echo "cloud-sim: the stand-in did not start:" >&2
    cat "$dir/sim.log" >&2
    exit 1
    ;;
stop)
    [ -f "$dir/ready" ] || exit 0
    pid=$(sed -n 's/^pid=//p' "$dir/ready")
    rm -f "$dir/ready"
    # Only the process this file names, and only if it still is the stand-in.
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "velora_cloud_si" ]; then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            # Gone, or only waiting to be reaped by whoever adopted it.
            state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || echo X)
            [ "$state" = X ] || [ "$state" = Z ] && break
            sleep 0.1
        done
    fi
    ;;
*)
    echo "usage: $0 start|stop|certs DIR [SIM_EXE [SCENARIO]]" >&2
    exit 2
    ;;
esac
