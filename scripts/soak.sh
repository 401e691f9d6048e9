#!/usr/bin/env bash
# Runs the whole suite N times in a row and prints, per test that ever failed, how many runs it
# failed and the first failure's message; a test that fails once is a fault to explain.
#   scripts/soak.sh N [--wine 8|10] [ctest arguments]   (both Wines, one after the other, without
#   --wine; ctest arguments such as -R e2e_ narrow the suite)
# Every run's ctest output and JUnit report stay in $BUILD_DIR/soak/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/soak.sh N [--wine 8|10] [ctest arguments]" >&2; exit 2; }
shift
only=""
if [ "${1:-}" = "--wine" ]; then only=${2:-}; shift 2 || { echo "--wine needs 8 or 10" >&2; exit 2; }; fi
. "$root/scripts/env.sh"
wines=${only:-$(available_wines)}
out=$BUILD_DIR/soak
rm -rf "$out"
mkdir -p "$out"
trap 'exit 130' INT
trap 'exit 143' TERM

echo "soak: $runs run(s) under Wine $wines; load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
for w in $wines; do
  for i in $(seq 1 "$runs"); do
    start=$(date +%s)
    bash "$root/scripts/test.sh" --wine "$w" --output-junit "$out/wine$w-run$i.xml" "$@" >"$out/wine$w-run$i.log" 2>&1
    rc=$?
    echo "soak: Wine $w run $i: $([ "$rc" = 0 ] && echo passed || echo "FAILED (exit $rc)") in $(( $(date +%s) - start )) s," \
      "load average $(cut -d' ' -f1-3 /proc/loadavg)"
  done
done

# Per Wine and test: runs, failures, and the first failure's message (its first line that says
# what failed, else its last line). A run that ended before its report counts as failed for "(suite)".
python3 - "$out" "$runs" $wines <<'EOF'
import glob, os, re, sys
import xml.etree.ElementTree as ET

out, runs, wines = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
telling = re.compile(r"FAIL:|wait failed|Failure|Expected|error|timed out|Timeout", re.I)

def message(case):
    text = "".join(e.text or "" for e in case.iter() if e.tag in ("system-out", "failure"))
    for key in ("message",):
        for e in case.iter("failure"):
            text = (e.get(key) or "") + "\n" + text
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    for l in lines:
        if telling.search(l) and not l.startswith("<"):
            return l[:200]
    return (lines[-1] if lines else "no output")[:200]

any_failed = False
for w in wines:
    seen, failed, first = {}, {}, {}
    for i in range(1, runs + 1):
        report = os.path.join(out, f"wine{w}-run{i}.xml")
        if not os.path.exists(report):
            failed["(suite)"] = failed.get("(suite)", 0) + 1
            first.setdefault("(suite)", f"run {i}: no ctest report, see wine{w}-run{i}.log")
            continue
        for case in ET.parse(report).getroot().iter("testcase"):
            name = case.get("name")
            seen[name] = seen.get(name, 0) + 1
            status = case.get("status", "")
            bad = status not in ("run", "pass", "passed", "") or case.find("failure") is not None
            if bad:
                failed[name] = failed.get(name, 0) + 1
                first.setdefault(name, f"run {i}: {message(case)}")
    print(f"== Wine {w}: {runs} run(s), {len(seen)} test(s); failures per test:")
    if not failed:
        print("   none")
    for name in sorted(failed):
        any_failed = True
        print(f"   {name}: failed {failed[name]} of {seen.get(name, runs)}; first: {first[name]}")
sys.exit(1 if any_failed else 0)
EOF
