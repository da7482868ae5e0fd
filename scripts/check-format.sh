#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says.
#   scripts/check-format.sh        check (scripts/test.sh runs this)
#   scripts/check-format.sh --fix  reformat in place
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(find src tests bench tools -name '*.cpp' -o -name '*.h' | sort)
if [[ "${1:-}" == "--fix" ]]; then
    clang-format -i "${files[@]}"
elif ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "check-format: the files above are not formatted; scripts/check-format.sh --fix does it" >&2
    exit 1
fi
