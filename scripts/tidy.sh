#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the program's own sources, using the compile
# commands of build/ (scripts/build.sh makes them). Extra arguments go to run-clang-tidy, e.g. a
# file pattern: scripts/tidy.sh src/store
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -f build/compile_commands.json ]] || scripts/build.sh
# Qt's generated moc and uic files are not ours to lint.
exec run-clang-tidy -quiet -p build -j "$(nproc)" "${@:-src/}" 2>&1 \
    | grep -v -E '^[0-9]+ warnings? generated|^Suppressed|^Use -header-filter|^Enabled checks|clang-tidy-14 -p=|^ *$'
