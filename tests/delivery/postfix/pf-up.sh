#!/bin/bash
# Starts a throw-away Postfix in the folder $1 (made anew), listening on
# loopback only:
#   PF_PLAIN       plain, STARTTLS offered, AUTH allowed without TLS
#   PF_SUBMISSION  STARTTLS required, AUTH only after it and required
#   PF_SMTPS       TLS from the first byte, AUTH required
#   PF_OTHERNAME   as PF_SMTPS, with a certificate for another name
# Each is a space-separated list of address:port (empty = off). SASL user
# tester@test.example, password "secret". Every recipient domain is accepted
# and delivered to $1/mail/inbox/ (a Maildir). Needs root and the packages
# postfix, sasl2-bin and libsasl2-modules.
# Certificates in $1/tls/: ca.pem, a test CA that signed the server's
# certificate (names localhost and 127.0.0.1) and the other-name one
# (other.test.example); other-ca.pem, a CA that signed neither.
set -eu
D=${1:?usage: pf-up.sh FOLDER}
PF_PLAIN=${PF_PLAIN-} PF_SUBMISSION=${PF_SUBMISSION-} PF_SMTPS=${PF_SMTPS-} PF_OTHERNAME=${PF_OTHERNAME-}

rm -rf "$D"
mkdir -p "$D/etc/sasl" "$D/queue" "$D/data" "$D/mail" "$D/log" "$D/tls"
# Postfix's own users must reach the queue and the mail folder.
chmod 755 "$D"
# EC keys: made in milliseconds, where RSA keys take a loaded machine a while.
new_ca() { # NAME SUBJECT
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 3650 -subj "$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$D/tls/$1-key.pem" -out "$D/tls/$1.pem" 2>/dev/null
}
new_server_cert() { # NAME SUBJECT-ALT-NAMES
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=mx.test.example \
    -keyout "$D/tls/$1-key.pem" -out "$D/tls/$1.csr" 2>/dev/null
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$2" > "$D/tls/$1.ext"
  openssl x509 -req -in "$D/tls/$1.csr" -CA "$D/tls/ca.pem" -CAkey "$D/tls/ca-key.pem" -CAcreateserial \
    -days 3650 -extfile "$D/tls/$1.ext" -out "$D/tls/$1.pem" 2>/dev/null
}
new_ca ca "/CN=Corvantiline Test CA"
new_ca other-ca "/CN=Corvantiline Unrelated CA"
new_server_cert cert "DNS:mx.test.example,DNS:localhost,IP:127.0.0.1"
new_server_cert other-cert "DNS:other.test.example"
mv "$D/tls/cert-key.pem" "$D/tls/key.pem"
cat > "$D/etc/main.cf" <<CF
compatibility_level = 3.6
queue_directory = $D/queue
data_directory  = $D/data
maillog_file    = $D/log/maillog
maillog_file_prefixes = $D
myhostname = mx.test.example
mydomain   = test.example
inet_interfaces = loopback-only
inet_protocols  = ipv4
mynetworks = 127.0.0.1/32
mydestination =
local_recipient_maps =
relay_domains =
default_transport = error:test instance does not relay
relay_transport   = error:test instance does not relay
virtual_mailbox_domains = static:all
virtual_mailbox_base    = $D/mail
virtual_mailbox_maps    = static:inbox/
virtual_uid_maps = static:65534
virtual_gid_maps = static:65534
virtual_mailbox_limit = 0
smtpd_tls_cert_file = $D/tls/cert.pem
smtpd_tls_key_file  = $D/tls/key.pem
smtpd_tls_security_level = may
smtpd_tls_received_header = yes
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = cyrus
smtpd_sasl_path = smtpd
cyrus_sasl_config_path = $D/etc/sasl
smtpd_sasl_local_domain = test.example
smtpd_tls_auth_only = no
smtpd_relay_restrictions = permit_mynetworks, permit_sasl_authenticated, reject_unauth_destination
smtpd_peername_lookup = no
smtpd_client_connection_rate_limit = 0
smtpd_error_sleep_time = 0
CF
{
for a in $PF_PLAIN; do echo "$a inet n - n - - smtpd"; done
for a in $PF_SUBMISSION; do
  printf '%s inet n - n - - smtpd\n' "$a"
  printf '  -o %s\n' syslog_name=postfix/submission smtpd_tls_security_level=encrypt \
    smtpd_tls_auth_only=yes smtpd_client_restrictions=permit_sasl_authenticated,reject
done
for a in $PF_SMTPS; do
  printf '%s inet n - n - - smtpd\n' "$a"
  printf '  -o %s\n' syslog_name=postfix/smtps smtpd_tls_wrappermode=yes \
    smtpd_client_restrictions=permit_sasl_authenticated,reject
done
for a in $PF_OTHERNAME; do
  printf '%s inet n - n - - smtpd\n' "$a"
  printf '  -o %s\n' syslog_name=postfix/othername smtpd_tls_wrappermode=yes \
    smtpd_tls_cert_file="$D/tls/other-cert.pem" smtpd_tls_key_file="$D/tls/other-cert-key.pem" \
    smtpd_client_restrictions=permit_sasl_authenticated,reject
done
} > "$D/etc/master.cf"
cat >> "$D/etc/master.cf" <<'CF'
pickup    unix  n - n 60 1 pickup
cleanup   unix  n - n - 0 cleanup
qmgr      unix  n - n 300 1 qmgr
tlsmgr    unix  - - n 1000? 1 tlsmgr
rewrite   unix  - - n - - trivial-rewrite
bounce    unix  - - n - 0 bounce
defer     unix  - - n - 0 bounce
trace     unix  - - n - 0 bounce
verify    unix  - - n - 1 verify
flush     unix  n - n 1000? 0 flush
proxymap  unix  - - n - - proxymap
showq     unix  n - n - - showq
error     unix  - - n - - error
retry     unix  - - n - - error
discard   unix  - - n - - discard
virtual   unix  - n n - - virtual
anvil     unix  - - n - 1 anvil
scache    unix  - - n - 1 scache
postlog   unix-dgram n - n - 1 postlogd
CF
printf 'pwcheck_method: auxprop\nauxprop_plugin: sasldb\nmech_list: PLAIN LOGIN\nsasldb_path: %s\n' \
  "$D/etc/sasl/sasldb2" > "$D/etc/sasl/smtpd.conf"
echo secret | saslpasswd2 -p -c -f "$D/etc/sasl/sasldb2" -u test.example tester
chown root:postfix "$D/etc/sasl/sasldb2"
chmod 640 "$D/etc/sasl/sasldb2"
chown postfix "$D/data"
chown 65534:65534 "$D/mail"
postfix -c "$D/etc" start

# Up once every listener answers; a loaded two-core machine may take a while.
for listener in $PF_PLAIN $PF_SUBMISSION $PF_SMTPS $PF_OTHERNAME; do
  up=0
  for _ in $(seq 1 1500); do
    if (exec 3<>"/dev/tcp/${listener%:*}/${listener##*:}") 2>/dev/null; then up=1; break; fi
    sleep 0.02
  done
  if [ $up -eq 0 ]; then
    echo "postfix did not come up on $listener; see $D/log/maillog" >&2
    exit 1
  fi
done
