#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the program's own sources, with the compile
# commands of build/ (scripts/build.sh writes them). It takes a few minutes on two cores, so
# scripts/test.sh does not run it. Arguments narrow it to paths, e.g. scripts/tidy.sh src/store
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -f build/compile_commands.json ]] || scripts/build.sh
paths=()
for path in "${@:-src}"; do
    paths+=("$PWD/$path")  # absolute, so that Qt's generated files under build/ stay out
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
run-clang-tidy -quiet -p build -j "$(nproc)" "${paths[@]}" >"$log" 2>&1 || status=$?
grep -E 'warning:|error:' -A3 "$log" || true
if [[ $status -ne 0 ]] || grep -qE 'warning:|error:' "$log"; then
    echo "tidy: findings above" >&2
    exit 1
fi
echo "tidy: no findings"
