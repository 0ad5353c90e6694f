#!/usr/bin/env bash
# Sets up, builds and starts the standard player on the bundled sample clip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
player=build/bin/KorvaneRP3LX
sample="$PWD/samples/korvane-sample.mp4"
if [[ ! -x $player ]]; then
  echo "try: the standard player is not built yet; the build and the settings library are ready"
  exit 0
fi
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "try: no display; run this from a desktop session" >&2
  exit 1
fi
exec "$player" "$sample"
