#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. Every window test starts an X server of
# its own, so no display is needed and the user's own is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cd build
if ctest --output-on-failure --no-tests=error -j "$(nproc)" "$@"; then
  exit 0
fi
# A failed test gets one more run on its own; its first failure stays in the log above, and
# one that passes only then is named FLAKY: it still needs fixing.
mapfile -t failed < <(cut -d: -f2- Testing/Temporary/LastTestsFailed.log)
echo "test: running the ${#failed[@]} failed test(s) once more, one at a time"
flaky=() broken=()
for name in "${failed[@]}"; do
  if ctest --output-on-failure -R "^$(printf '%s' "$name" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"; then
    flaky+=("$name")
  else
    broken+=("$name")
  fi
done
for name in "${flaky[@]}"; do echo "FLAKY: $name (failed, then passed on its own)"; done
for name in "${broken[@]}"; do echo "FAILED: $name (failed twice)"; done
((${#broken[@]} == 0))
