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
# pf-up.sh's listeners; a caller may give its own (run-direct-e2e.sh does).
export PF_PLAIN=${PF_PLAIN-127.0.0.1:$CORV_SMTP_PLAIN_PORT}
export PF_SUBMISSION=${PF_SUBMISSION-127.0.0.1:$CORV_SMTP_SUBMISSION_PORT}
export PF_SMTPS=${PF_SMTPS-127.0.0.1:$CORV_SMTP_SMTPS_PORT}
export PF_OTHERNAME=${PF_OTHERNAME-127.0.0.1:$CORV_SMTP_OTHERNAME_PORT}
# A listener already there (say, a Postfix left over from a killed run) would
# take the messages that this run looks for.
for listener in $PF_PLAIN $PF_SUBMISSION $PF_SMTPS $PF_OTHERNAME; do
  if (exec 3<>"/dev/tcp/${listener%:*}/${listener##*:}") 2>/dev/null; then
    echo "$0: $listener is already in use; set CORV_SMTP_*_PORT to free ports" >&2
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

if ! bash "$here/pf-up.sh" "$work/pf"; then
  tail -n 30 "$work/pf/log/maillog" >&2 2>/dev/null || true
  exit 1
fi

export CORV_PF_DIR="$work/pf"
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
