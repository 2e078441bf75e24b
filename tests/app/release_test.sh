#!/usr/bin/env bash
# scripts/release end to end, with a throw-away authority and a code-signing
# certificate it issued: the signed setup verifies against that authority,
# carries the update host, stays within the budget, and the password reaches
# osslsigncode only as a file; without a certificate the setup is unsigned;
# a signature that does not verify, a wrong password or a failed time stamp
# fails the release and leaves no setup behind. The update keys (made by
# plain openssl) are compiled in; without one the release is refused unless
# told --unsigned-updates, and a private key is never taken for one.
#   release_test.sh RELEASE_BUILD_FOLDER BUDGET
set -euo pipefail
build=${1:?release build folder}
budget=${2:?size budget in bytes}
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
host=update.example.com
password='a pass phrase, with $pecial "characters"'

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# The certificates, as a vendor's would be: a .pfx with the chain, its
# password in a file of one line.
authority() {  # NAME: NAME.pem and NAME.key, a self-signed authority
  openssl req -x509 -new -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quelda Test $1" \
    -addext 'basicConstraints=critical,CA:true' -addext 'keyUsage=critical,keyCertSign,cRLSign' \
    -keyout "$tmp/$1.key" -out "$tmp/$1.pem" 2>/dev/null
}
authority CA
authority Other-CA
openssl req -new -newkey rsa:2048 -nodes -subj '/CN=Quelda Test Signer/O=Quelda' \
  -keyout "$tmp/signer.key" -out "$tmp/signer.csr" 2>/dev/null
printf '%s\n' 'basicConstraints=critical,CA:false' 'keyUsage=critical,digitalSignature' \
  'extendedKeyUsage=codeSigning' >"$tmp/signer.ext"
openssl x509 -req -in "$tmp/signer.csr" -CA "$tmp/CA.pem" -CAkey "$tmp/CA.key" -set_serial 7 \
  -days 2 -extfile "$tmp/signer.ext" -out "$tmp/signer.pem" 2>/dev/null
printf '%s\n' "$password" >"$tmp/password"
openssl pkcs12 -export -inkey "$tmp/signer.key" -in "$tmp/signer.pem" -certfile "$tmp/CA.pem" \
  -passout "file:$tmp/password" -out "$tmp/signer.pfx"
printf 'wrong\n' >"$tmp/wrong-password"
# The vendor's update keys: an old one and the new one that replaces it.
for key in old new; do
  openssl ecparam -name prime256v1 -genkey -noout -out "$tmp/$key.ec" 2>/dev/null
  openssl pkcs8 -topk8 -nocrypt -in "$tmp/$key.ec" -out "$tmp/$key.key"
  openssl ec -in "$tmp/$key.key" -pubout -out "$tmp/$key.pub" 2>/dev/null
done
carries_key() {  # EXE PUBLIC_KEY: the key's point is compiled in
  python3 -c 'import sys, subprocess
der = subprocess.run(["openssl", "pkey", "-pubin", "-in", sys.argv[2], "-outform", "DER"],
                     check=True, capture_output=True).stdout
sys.exit(der[-64:] not in open(sys.argv[1], "rb").read())' "$1" "$2"
}

# Every osslsigncode command line that the release runs is recorded.
real=$(command -v osslsigncode)
mkdir "$tmp/bin"
cat >"$tmp/bin/osslsigncode" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$tmp/argv"
exec "$real" "\$@"
EOF
chmod +x "$tmp/bin/osslsigncode"

release() {  # OUT ARGS...: runs scripts/release into OUT, its output in OUT.log
  local out=$1
  shift
  PATH="$tmp/bin:$PATH" "$root/scripts/release" --host "$host" --build "$build" --out "$out" \
    "$@" >"$out.log" 2>&1
}
carries_host() {
  python3 -c 'import sys; sys.exit(("https://%s/" % sys.argv[2]).encode("utf-16-le")
                                   not in open(sys.argv[1], "rb").read())' "$1" "$host"
}

signed="$tmp/signed/QueldaSetup.exe"
if release "$tmp/signed" --pfx "$tmp/signer.pfx" --pfx-password-file "$tmp/password" \
    --ca-file "$tmp/CA.pem" --update-key "$tmp/old.pub" --update-key "$tmp/new.pub"; then
  cat "$tmp/signed.log"
  for key in old new; do
    carries_key "$signed" "$tmp/$key.pub" || fail "the $key update key is not compiled in"
  done
  grep -q "^release: updates must be signed by: .*old.pub .*new.pub" "$tmp/signed.log" \
    || fail "the release does not name its update keys"
  "$real" verify -in "$signed" -CAfile "$tmp/CA.pem" >"$tmp/verify.log" 2>&1 \
    || fail "the signed setup does not verify: $(grep -i fail "$tmp/verify.log")"
  grep -q 'Message digest algorithm  : SHA256' "$tmp/verify.log" || fail "not signed with SHA-256"
  grep -q 'Subject: /CN=Quelda Test Signer' "$tmp/verify.log" || fail "not signed by the signer"
  # Against the system's authorities alone the test authority is unknown.
  ! "$real" verify -in "$signed" >/dev/null 2>&1 || fail "verifies without the test authority"
  size=$(stat -c %s "$signed")
  [ "$size" -le "$budget" ] || fail "signed size $size over the budget of $budget bytes"
  grep -q "^release: $size bytes .* of a $((budget / 1024)) KB budget" "$tmp/signed.log" \
    || fail "the release does not print the signed size"
  carries_host "$signed" || fail "https://$host/ is not compiled in"
else
  fail "signed release: $(cat "$tmp/signed.log")"
fi
grep -q -- '-readpass' "$tmp/argv" || fail "the password file is not handed to osslsigncode"
! grep -qF "${password%%,*}" "$tmp/argv" || fail "the password appears on a command line"

unsigned="$tmp/unsigned/QueldaSetup.exe"
if release "$tmp/unsigned" --unsigned-updates; then
  grep -q 'NOT signed' "$tmp/unsigned.log" || fail "the release does not say it is unsigned"
  grep -q 'updates NOT signed' "$tmp/unsigned.log" \
    || fail "the release does not say that its updates are unsigned"
  ! carries_key "$unsigned" "$tmp/old.pub" || fail "an update key is left in the unsigned build"
  ! "$real" verify -in "$unsigned" >/dev/null 2>&1 || fail "the unsigned setup verifies"
  cmp -s "$unsigned" "$build/QueldaSetup.exe" || fail "the unsigned setup is not the build's"
else
  fail "unsigned release: $(cat "$tmp/unsigned.log")"
fi

# No update key, and a private key in its place.
! release "$tmp/keyless" || fail "a release without an update key passes"
grep -q 'no --update-key' "$tmp/keyless.log" || fail "keyless: $(cat "$tmp/keyless.log")"
! release "$tmp/private" --update-key "$tmp/old.key" || fail "a private key passes as update key"
grep -q 'holds a private key' "$tmp/private.log" || fail "private key: $(cat "$tmp/private.log")"

# A signature by an authority other than the expected one, a wrong password,
# a time-stamping server that does not answer.
! release "$tmp/other" --pfx "$tmp/signer.pfx" --pfx-password-file "$tmp/password" \
  --ca-file "$tmp/Other-CA.pem" --unsigned-updates || fail "a signature that does not verify passes"
! release "$tmp/wrong" --pfx "$tmp/signer.pfx" --pfx-password-file "$tmp/wrong-password" \
  --unsigned-updates || fail "a wrong password passes"
! release "$tmp/untimed" --pfx "$tmp/signer.pfx" --pfx-password-file "$tmp/password" \
  --timestamp-url http://127.0.0.1:9/ --unsigned-updates || fail "a failed time stamp passes"
grep -q 'does not verify' "$tmp/other.log" || fail "other authority: $(cat "$tmp/other.log")"
grep -q 'signing failed' "$tmp/wrong.log" || fail "wrong password: $(cat "$tmp/wrong.log")"
grep -q -- '-ts http://127.0.0.1:9/' "$tmp/argv" || fail "the time-stamping server is not asked"
for out in keyless private other wrong untimed; do
  [ -z "$(ls -A "$tmp/$out")" ] || fail "a failed release ($out) left $(ls -A "$tmp/$out")"
done

[ "$failures" -eq 0 ] || exit 1
echo "release: signed and unsigned setups as expected"
