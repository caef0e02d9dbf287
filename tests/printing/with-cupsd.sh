#!/usr/bin/env bash
# Runs a test program against two private CUPS schedulers: one whose default
# destination is the raw queue plendrik-test (CUPS_SERVER, process
# PLENDRIK_TEST_CUPSD_PID, for tests that pause it), and one with no queue at
# all (PLENDRIK_TEST_EMPTY_SERVER). HOME is a fresh folder, so saved reports
# and lpoptions start empty. Both servers are stopped on the way out.
#   with-cupsd.sh PROGRAM [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../harness/cupsd.sh
source "$here/../harness/cupsd.sh"
# cupsd and lpadmin live in sbin, which a non-login shell may not have.
export PATH=$PATH:/usr/sbin:/sbin

home=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-home.XXXXXX")
empty_pid='' empty_dir=''
finish() {
    cupsd_stop
    if [[ -n $empty_pid ]]; then
        CUPSD_PID=$empty_pid CUPSD_DIR=$empty_dir cupsd_stop
    fi
    rm -rf "$home"
}
trap finish EXIT

cupsd_start --no-queue
empty_pid=$CUPSD_PID empty_dir=$CUPSD_DIR
export PLENDRIK_TEST_EMPTY_SERVER=$CUPS_SERVER
unset CUPSD_PID CUPSD_DIR

cupsd_start
export PLENDRIK_TEST_QUEUE=$CUPSD_QUEUE
export PLENDRIK_TEST_CUPSD_PID=$CUPSD_PID
PLENDRIK_TEST_SPOOL=$(cupsd_spool_dir)
export PLENDRIK_TEST_SPOOL

export HOME=$home
# Documents must be $HOME/Documents, whatever the caller's desktop says.
unset XDG_CONFIG_HOME XDG_DOCUMENTS_DIR

set +e
"$@"
status=$?
set -e
exit "$status"
