#!/usr/bin/env bash
# Pass/fail tally for the shell tests. Source it, then:
#   check WHAT CMD...   runs CMD; counts and prints "ok   WHAT" or "FAIL WHAT"
#   need WHAT CMD...    the same, but stops at once on failure (later steps make
#                       no sense once, say, the program cannot be reached)
#   finish              prints "N passed, N failed" and exits, non-zero on any
#                       failure; a script may define checks_on_failure to show
#                       more (a program's output, say) before the tally
passed=0 failed=0
ok() { echo "ok   $*"; passed=$((passed + 1)); }
bad() { echo "FAIL $*"; failed=$((failed + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else bad "$what"; fi; }
finish() {
    if ((failed > 0)) && declare -F checks_on_failure >/dev/null; then checks_on_failure; fi
    echo "$passed passed, $failed failed"
    exit $((failed > 0))
}
need() {
    local what=$1; shift
    if "$@"; then ok "$what"; else bad "$what"; echo "(stopping here)"; finish; fi
}
