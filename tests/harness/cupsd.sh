#!/usr/bin/env bash
# Private CUPS scheduler for print tests. Source this file, then:
#   cupsd_start [--no-queue]   start it; exports CUPS_SERVER (and CUPS_SERVERROOT)
#   cupsd_spool_dir            folder where kept job data files (d00001-001 ...) land
#   cupsd_wait_completed N [S] wait up to S seconds (default 20) for N completed jobs
#   cupsd_stop                 kill it and remove its folder
# Nothing here touches /etc/cups, /var/spool/cups or a running system cupsd:
# the only listener is a Unix socket inside a fresh mktemp folder.
# Run as a script: "cupsd.sh start" prints the exports, "cupsd.sh stop FOLDER" ends it.

CUPSD_QUEUE=${CUPSD_QUEUE:-plendrik-test}

cupsd_start() {
    local with_queue=1
    [[ ${1-} == --no-queue ]] && with_queue=0

    CUPSD_DIR=$(mktemp -d "${TMPDIR:-/tmp}/plendrik-cups.XXXXXX")
    # Filters and backends run as user lp: it must be able to walk into the tree.
    chmod 755 "$CUPSD_DIR"
    local d=$CUPSD_DIR
    mkdir -p "$d/etc" "$d/spool" "$d/spool/tmp" "$d/cache" "$d/state" "$d/log"

    cat >"$d/etc/cups-files.conf" <<EOF
ServerRoot $d/etc
RequestRoot $d/spool
TempDir $d/spool/tmp
CacheDir $d/cache
StateDir $d/state
AccessLog $d/log/access_log
ErrorLog $d/log/error_log
PageLog $d/log/page_log
Printcap $d/state/printcap
CreateSelfSignedCerts no
FileDevice Yes
SystemGroup root
LogFileGroup root
EOF

    # No auth at all: the socket lives in a private folder, and tests run lpadmin.
    cat >"$d/etc/cupsd.conf" <<EOF
LogLevel debug
Listen $d/cups.sock
Browsing Off
BrowseLocalProtocols none
WebInterface No
PreserveJobFiles Yes
PreserveJobHistory Yes
MaxJobs 0
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    # cupsd refuses config files that others may write to.
    chmod 640 "$d/etc/cupsd.conf" "$d/etc/cups-files.conf"

    # -f keeps it as our child so $! is the real pid; -l would wait for socket activation.
    cupsd -f -c "$d/etc/cupsd.conf" -s "$d/etc/cups-files.conf" \
        >"$d/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!

    export CUPS_SERVER=$d/cups.sock
    # Client-side lpoptions/client.conf come from here, not from /etc/cups.
    export CUPS_SERVERROOT=$d/etc
    unset PRINTER LPDEST
    export CUPSD_DIR CUPSD_PID

    local i
    for ((i = 0; i < 100; i++)); do
        if ! kill -0 "$CUPSD_PID" 2>/dev/null; then
            echo "cupsd died; see $d/log" >&2
            cat "$d/log/cupsd.out" "$d/log/error_log" >&2 2>/dev/null || true
            return 1
        fi
        lpstat -r 2>/dev/null | grep -q 'is running' && break
        sleep 0.1
    done
    if ((i == 100)); then
        echo "cupsd did not answer on $CUPS_SERVER" >&2
        return 1
    fi

    ((with_queue)) || return 0
    lpadmin -p "$CUPSD_QUEUE" -E -v file:/dev/null
    lpadmin -d "$CUPSD_QUEUE"
    # lpadmin -E already enables and accepts; say it again so a change there shows up here.
    cupsenable "$CUPSD_QUEUE"
    cupsaccept "$CUPSD_QUEUE"
    lpstat -d | grep -q "$CUPSD_QUEUE" || {
        echo "default destination not set" >&2
        return 1
    }
}

cupsd_spool_dir() {
    echo "$CUPSD_DIR/spool"
}

# Completed-job count as cupsd sees it (history is kept, so it only grows).
cupsd_completed_count() {
    lpstat -W completed -o 2>/dev/null | grep -c . || true
}

cupsd_wait_completed() {
    local want=$1 timeout=${2:-20} i n=0
    for ((i = 0; i < timeout * 10; i++)); do
        n=$(cupsd_completed_count)
        ((n >= want)) && return 0
        sleep 0.1
    done
    echo "only $n of $want jobs completed after ${timeout}s" >&2
    lpstat -W all -o >&2 || true
    return 1
}

cupsd_stop() {
    [[ -n ${CUPSD_PID-} ]] || return 0
    # A test may have paused it (kill -STOP); a paused server ends only when woken.
    kill -CONT "$CUPSD_PID" 2>/dev/null || true
    kill "$CUPSD_PID" 2>/dev/null || true
    local i
    for ((i = 0; i < 50; i++)); do
        kill -0 "$CUPSD_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$CUPSD_PID" 2>/dev/null || true
    wait "$CUPSD_PID" 2>/dev/null || true
    [[ -n ${CUPSD_DIR-} && $CUPSD_DIR == */plendrik-cups.* ]] && rm -rf "$CUPSD_DIR"
    unset CUPSD_PID CUPSD_DIR CUPS_SERVER CUPS_SERVERROOT
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    set -euo pipefail
    case ${1-} in
    start)
        # Prints the exports; the server lives until killed with the printed pid.
        cupsd_start "${@:2}"
        echo "export CUPS_SERVER=$CUPS_SERVER CUPS_SERVERROOT=$CUPS_SERVERROOT"
        echo "# stop with: $0 stop $CUPSD_DIR"
        disown "$CUPSD_PID"
        ;;
    stop)
        # cupsd itself writes the pid file named in its log at start-up.
        CUPSD_DIR=${2:?folder printed by start} CUPSD_PID=$(cat "$2/state/cupsd.pid")
        cupsd_stop
        ;;
    *)
        echo "usage: source ${0##*/}; cupsd_start [--no-queue] ... cupsd_stop" >&2
        echo "   or: ${0##*/} start [--no-queue] | ${0##*/} stop FOLDER" >&2
        exit 2
        ;;
    esac
fi
