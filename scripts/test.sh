#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. Without a display it starts Xvfb for
# the window tests and stops it afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

xvfb_pid=
cleanup() { [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [[ -z ${DISPLAY:-} ]]; then
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp +extension GLX 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 30 display <"$fifo" || { echo "test: Xvfb did not start" >&2; exit 1; }
  rm -f "$fifo"
  export DISPLAY=":$display"
  echo "test: started Xvfb on $DISPLAY"
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb}
cd build
if ! ctest --output-on-failure --no-tests=error -j "$(nproc)" "$@"; then
  # The end-to-end tests drive real programs on one shared X display with real key presses
  # and a real mouse; a test that failed gets one more run, on its own, and its failure
  # above stays in the log.
  echo "test: running the failed tests once more, one at a time"
  ctest --output-on-failure --rerun-failed -j 1
fi
