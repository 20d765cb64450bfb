#!/usr/bin/env bash
# Load, faults, resource limits and crashes against tavo-vm-hostd on 127.0.0.1, on a port it picks
# and a temporary state file. Builds nothing: give the build directory (default build/release) and
# any tavo-vm-stress options (e.g. --threads 8 --calls 1000). One line per scenario, then PASS or
# FAIL; exit status 0 only if every scenario passed.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/release
if [[ $# -gt 0 && $1 != -* ]]; then build=$1; shift; fi
hostd=$build/simhost/daemon/tavo-vm-hostd
stress=$build/simhost/stress/tavo-vm-stress
for program in "$hostd" "$stress"; do
  [[ -x $program ]] || { echo "stress.sh: $program is not built" >&2; exit 2; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/tavo-stress-XXXXXX")
connections=64
# Bodies up to 96 MiB reach the JSON parser, so that the field and string limits are its to refuse.
"$hostd" --port 0 --port-file "$dir/port" --state "$dir/host.json" --threads 4 \
  --max-connections $connections --max-body $((96 << 20)) >"$dir/hostd.log" 2>&1 &
daemon=$!
trap 'kill -KILL $daemon 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 300); do [[ -s $dir/port ]] && break; sleep 0.1; done
[[ -s $dir/port ]] || { echo "stress.sh: the daemon did not start" >&2; cat "$dir/hostd.log" >&2; exit 2; }

status=0
timeout 1800 "$stress" load faults limits --port "$(cat "$dir/port")" --pid $daemon \
  --state "$dir/host.json" --max-connections $connections "$@" || status=1
timeout 1800 "$stress" crash --hostd "$hostd" --dir "$dir" "$@" || status=1
kill -TERM $daemon
wait $daemon || { echo "FAIL the daemon did not stop cleanly on SIGTERM"; status=1; }
[[ $status == 0 ]] && echo PASS || echo FAIL
exit $status
