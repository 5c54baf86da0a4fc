#!/bin/bash
# Runs a test program against a Postfix of its own: started in a temporary
# folder before the program, stopped after it whatever happens.
#   run-postfix-test.sh PROGRAM [ARGUMENT...]
# Ports (on 127.0.0.1): CORV_SMTP_PLAIN_PORT (2525), CORV_SMTP_SUBMISSION_PORT
# (2587), CORV_SMTP_SMTPS_PORT (2465), CORV_SMTP_OTHERNAME_PORT (2466). The
# program finds the Postfix folder (Maildir, log, certificates) in
# CORV_PF_DIR, the ports in the same variables, and trusts the test CA
# through SSL_CERT_FILE.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGUMENT...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

if [ "$(id -u)" -ne 0 ]; then
  echo "$0: a private Postfix needs root; skipped" >&2
  exit 77
fi
for tool in postfix saslpasswd2 openssl python3; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

export CORV_SMTP_PLAIN_PORT=${CORV_SMTP_PLAIN_PORT:-2525}
export CORV_SMTP_SUBMISSION_PORT=${CORV_SMTP_SUBMISSION_PORT:-2587}
export CORV_SMTP_SMTPS_PORT=${CORV_SMTP_SMTPS_PORT:-2465}
export CORV_SMTP_OTHERNAME_PORT=${CORV_SMTP_OTHERNAME_PORT:-2466}
# A listener already there (say, a Postfix left over from a killed run) would
# take the messages that this run looks for.
for port in $CORV_SMTP_PLAIN_PORT $CORV_SMTP_SUBMISSION_PORT $CORV_SMTP_SMTPS_PORT $CORV_SMTP_OTHERNAME_PORT; do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "$0: 127.0.0.1:$port is already in use; set CORV_SMTP_*_PORT to free ports" >&2
    exit 1
  fi
done

# Not below $TMPDIR: Postfix's own users must be able to reach the folder.
work=$(mktemp -d /tmp/corv-postfix-XXXXXX)
chmod 755 "$work"
cleanup() {
  bash "$here/pf-down.sh" "$work/pf"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! PF_PLAIN="127.0.0.1:$CORV_SMTP_PLAIN_PORT" PF_SUBMISSION="127.0.0.1:$CORV_SMTP_SUBMISSION_PORT" \
     PF_SMTPS="127.0.0.1:$CORV_SMTP_SMTPS_PORT" PF_OTHERNAME="127.0.0.1:$CORV_SMTP_OTHERNAME_PORT" \
     bash "$here/pf-up.sh" "$work/pf"; then
  tail -n 30 "$work/pf/log/maillog" >&2 2>/dev/null || true
  exit 1
fi

export CORV_PF_DIR="$work/pf"
export CORV_PF_CHECK_SCRIPT="$here/check_message.py"
# The server's certificate verifies against the test CA alone; tests that
# want it refused name another file.
export SSL_CERT_FILE="$work/pf/tls/ca.pem"
unset SSL_CERT_DIR
status=0
"$@" || status=$?
if [ $status -ne 0 ]; then
  echo "--- end of the Postfix log" >&2
  tail -n 40 "$work/pf/log/maillog" >&2 2>/dev/null || true
fi
exit $status
