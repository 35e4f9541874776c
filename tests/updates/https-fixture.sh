#!/usr/bin/env bash
# The HTTPS fixture of the update tests, run by CTest before and after them:
#   https-fixture.sh start|stop DIR TEST-PROGRAM-COMMAND...
# start: a fresh test CA and a certificate for "localhost" (openssl), the loopback
# server (https_server.py), and the CA trusted in the root store of every Wine lane the
# test command started (TESS_LANES; otherwise the default one) through the test program
# itself. stop: the CA taken out again and the server ended.
# The host's trust store is never touched.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
action=$1 dir=$2
shift 2
windir() { printf 'Z:%s' "$1" | tr / '\\'; }
# Runs the test program once in each lane.
in_each_lane() {
  if [ -z "${TESS_LANES:-}" ]; then "$@"; return; fi
  local lane
  for lane in $TESS_LANES; do TESS_LANE=$lane "$@" || return 1; done
}

stop() {
  [ -f "$dir/ca.der" ] && in_each_lane "$@" --child trust_test_ca remove "$(windir "$dir/ca.der")" || true
  touch "$dir/stop"
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    # The server removes its port file as it ends (a zombie would still answer kill -0).
    for _ in $(seq 30); do [ -f "$dir/port" ] || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
  fi
}

case $action in
start)
  [ -d "$dir" ] && stop "$@"
  rm -rf "$dir"
  mkdir -p "$dir/www"
  cat > "$dir/ext.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
authorityKeyIdentifier = keyid
CNF
  # The CA's key lives only as long as this run's folder.
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 \
    -subj "/CN=Tessavo test CA $(date +%s)-$$" -config "$dir/ext.cnf" -extensions ca 2>/dev/null
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$dir/leaf.key" -out "$dir/leaf.csr" \
    -subj "/CN=localhost" -config "$dir/ext.cnf" 2>/dev/null
  openssl x509 -req -in "$dir/leaf.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -set_serial "$$" \
    -days 2 -out "$dir/leaf.pem" -extfile "$dir/ext.cnf" -extensions leaf 2>/dev/null
  openssl x509 -in "$dir/ca.pem" -outform der -out "$dir/ca.der"
  python=$(command -v /usr/bin/python3 || command -v python3)
  setsid "$python" "$here/https_server.py" "$dir" </dev/null >"$dir/server.log" 2>&1 &
  echo $! > "$dir/pid"
  for _ in $(seq 100); do [ -f "$dir/port" ] && break; sleep 0.1; done
  [ -f "$dir/port" ] || { echo "https fixture: the server did not start"; cat "$dir/server.log"; exit 1; }
  in_each_lane "$@" --child trust_test_ca add "$(windir "$dir/ca.der")"
  echo "https fixture: listening on localhost:$(cat "$dir/port")"
  ;;
stop)
  stop "$@"
  ;;
esac
