#!/usr/bin/env bash
# End to end: ovbridge to a broker that takes TLS only, with a certificate authority, server and
# client certificates made for the test, and a user name with a password. The password comes
# from a file the settings name, or from OVBRIDGE_PASSWORD; a wrong one, or a broker certificate
# from another authority, leaves the bridge unconnected and saying why.
#   ovbridge_tls.sh BIN EXAMPLES
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/e2e_support.sh"
source "$HERE/mqtt_support.sh"
BIN=$1 EXAMPLES=$2
e2e_start ovbridge-tls

pki="$RUN/pki"
mkdir -p "$pki"
# make_cert NAME SUBJECT ISSUER [SAN]: an EC key and a certificate signed by ISSUER (self when
# ISSUER is "self").
make_cert() {
  local name=$1 subject=$2 issuer=$3 san=${4:-}
  if [[ $issuer == self ]]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
      -subj "$subject" -keyout "$pki/$name.key" -out "$pki/$name.pem" 2>/dev/null
    return
  fi
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "$subject" \
    -keyout "$pki/$name.key" -out "$pki/$name.csr" 2>/dev/null
  printf '%s\n' "${san:+subjectAltName=$san}" >"$pki/$name.ext"
  openssl x509 -req -in "$pki/$name.csr" -CA "$pki/$issuer.pem" -CAkey "$pki/$issuer.key" \
    -CAcreateserial -days 2 -extfile "$pki/$name.ext" -out "$pki/$name.pem" 2>/dev/null
}
make_cert ca "/CN=OV test CA" self
make_cert other-ca "/CN=Another CA" self
make_cert server "/CN=localhost" ca "DNS:localhost,IP:127.0.0.1"
make_cert client "/CN=ovbridge" ca
chmod 600 "$pki"/*.key
mosquitto_passwd -c -b "$RUN/passwd" ovtest 's3cret w0rd'

BROKER_ANONYMOUS=false
BROKER_ADDRESS=localhost
start_broker broker "cafile $pki/ca.pem" "certfile $pki/server.pem" "keyfile $pki/server.key" \
  "require_certificate true" "password_file $RUN/passwd"
SUB_OPTIONS=(-h localhost --cafile "$pki/ca.pem" --cert "$pki/client.pem" --key "$pki/client.key"
             -u ovtest -P 's3cret w0rd')

dir="$RUN/app"
make_portable "$BIN" "$dir" "$EXAMPLES"
cp "$BIN/ovbridge" "$dir/"
ln -s "$EXAMPLES" "$dir/examples"
BRIDGE="$dir/ovbridge"
printf '%s\n' 's3cret w0rd' >"$dir/broker.secret"
chmod 600 "$dir/broker.secret"
# settings NAME [LINE ...]: the bridge's settings for this broker with its TLS files.
settings() {
  local name=$1
  shift
  {
    printf '[Broker]\nHost=localhost\nPort=%s\nUser=ovtest\nReconnectMin=0.2\n' "$BROKER_PORT"
    printf 'CertFile=%s\nKeyFile=%s\n' "$pki/client.pem" "$pki/client.key"
    printf '%s\n' "$@"
    printf '[Bridge]\nEngine=tls\n'
  } >"$dir/$name.ini"
}
settings file "PasswordFile=broker.secret" "CAFile=$pki/ca.pem"
settings env "CAFile=$pki/ca.pem"
settings untrusted "PasswordFile=broker.secret" "CAFile=$pki/other-ca.pem"

start_engine "$dir"
subscribe tlswatch "$RUN/records.txt" '%p' ovcalc/records

"$BRIDGE" "$dir/file.ini" 2>"$RUN/file.err" &
bridge=$!
wait_for 20 eval '[[ $(bridge_status connected) == yes && $(bridge_status "OV Calc linked") == yes ]]' ||
  fail "no TLS connection with the password file: $(cat "$RUN/file.err")"
[[ $(bridge_status broker) == "mqtts://localhost:$BROKER_PORT" ]] || fail "$("$BRIDGE" --status)"
(cd "$dir" && exec ./ovfeed --as decoder examples/feed.txt >/dev/null 2>"$RUN/feed.err")
wait_for 60 has_lines "$RUN/records.txt" 11 || fail "records over TLS: $(cat "$RUN/records.txt")"
diff "$EXAMPLES/expected.txt" "$RUN/records.txt" >&2 || fail "the records differ"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
say "11 records over TLS, the client certificate and the password from its file"

# The password from the environment: a wrong one is refused and said; the right one connects.
OVBRIDGE_PASSWORD=wrong "$BRIDGE" "$dir/env.ini" 2>"$RUN/wrong.err" &
bridge=$!
wait_for 20 grep -qi "the broker refused the connection: not authori[sz]ed" "$RUN/wrong.err" ||
  fail "a wrong password not said: $(cat "$RUN/wrong.err")"
[[ $(bridge_status connected) == no ]] || fail "connected with a wrong password"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
OVBRIDGE_PASSWORD='s3cret w0rd' "$BRIDGE" "$dir/env.ini" 2>"$RUN/env.err" &
bridge=$!
wait_for 20 eval '[[ $(bridge_status connected) == yes ]]' ||
  fail "no connection with OVBRIDGE_PASSWORD: $(cat "$RUN/env.err")"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
say "the password from OVBRIDGE_PASSWORD: a wrong one refused and said, the right one taken"

# A broker whose certificate another authority signed is not trusted.
"$BRIDGE" "$dir/untrusted.ini" 2>"$RUN/untrusted.err" &
bridge=$!
wait_for 20 grep -q "cannot connect to mqtts://localhost:$BROKER_PORT" "$RUN/untrusted.err" ||
  fail "an untrusted broker not said: $(cat "$RUN/untrusted.err")"
[[ $(bridge_status connected) == no ]] || fail "connected to an untrusted broker"
kill -TERM "$bridge"
wait "$bridge" || fail "the bridge ended with status $?"
say "a broker certificate of another authority refused"
