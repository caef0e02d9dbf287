#!/usr/bin/env bash
# Runs a fuzz target for a bounded time, starting from a scratch copy of the
# seed corpus (which it replays first, so every regression input is tried).
# Fails, keeping the input in findings-TARGET/ beside the target, if any input
# breaks a rule.
#   run-bounded.sh TARGET SECONDS [more libFuzzer options]
set -euo pipefail
target=$1
seconds=$2
shift 2
seeds="$(cd "$(dirname "$0")" && pwd)/corpus"
findings="$(cd "$(dirname "$target")" && pwd)/findings-$(basename "$target")"
rm -rf "$findings"
mkdir -p "$findings"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp "$seeds"/* "$corpus"/

# -timeout: a single input this slow is a hang, even on a busy machine.
if "$target" -max_total_time="$seconds" -timeout=120 -rss_limit_mb=4096 -print_final_stats=1 \
    -dict="$(dirname "$seeds")/survey.dict" -artifact_prefix="$findings/" "$@" "$corpus"; then
    echo "$(basename "$target"): no input broke a rule in ${seconds} s"
    exit 0
fi
echo "$(basename "$target") found an input that breaks a rule; replay it with:" >&2
for found in "$findings"/*; do
    [[ -f $found ]] && echo "  $target $found" >&2
done
exit 1
