#!/usr/bin/env bash
# Takes the README's screenshots of the four players on their own Xvfb display, with
# openbox as window manager when it is installed (so title bars show), the standard player
# also at twice the scale. Run after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshots
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$scratch"' EXIT
cp build/bin/KorvaneRP3L* "$scratch/"

export XDG_RUNTIME_DIR="$scratch/run" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
unset WAYLAND_DISPLAY
mkdir -m 700 "$scratch/run"
display() {  # size: a fresh Xvfb (and openbox) as DISPLAY
  local fifo="$scratch/display$1"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  read -r DISPLAY <"$fifo"
  export DISPLAY=":$DISPLAY"
  if command -v openbox >/dev/null; then openbox >/dev/null 2>&1 & sleep 1; fi
}
display 1280x800

shoot() {  # program clip picture [seconds]
  "$scratch/$1" "$2" >/dev/null 2>&1 &
  local pid=$!
  sleep "${4:-3}"
  local window
  window=$(xdotool search --onlyvisible --pid "$pid" | head -1)
  if [[ $1 == KorvaneRP3LXKAMBO ]]; then
    import -window root "$out/$3"
  else  # the frame too, title bar included
    local frame
    frame=$(xwininfo -id "$window" -children | awk '/Parent window id/ {print $4}')
    if [[ $frame != 0x0 && -n $frame ]] && xwininfo -id "$frame" | grep -q "Map State: IsViewable"; then window=$frame; fi
    import -window "$window" "$out/$3"
  fi
  kill "$pid"; wait "$pid" 2>/dev/null || true
}
shoot KorvaneRP3LX "$PWD/samples/korvane-sample.mp4" player-video.png
shoot KorvaneRP3LX "$PWD/tests/data/media/tagged.mp3" player-audio.png 2
shoot KorvaneRP3LXZELTA "$PWD/samples/korvane-sample.mp4" entry.png
shoot KorvaneRP3LXVORNA "$PWD/samples/korvane-sample.mp4" top.png
shoot KorvaneRP3LXKAMBO "$PWD/samples/korvane-sample.mp4" full-screen.png
# At twice the scale (192 dpi), on a screen large enough for the doubled window.
display 1600x1300
QT_SCALE_FACTOR=2 shoot KorvaneRP3LX "$PWD/samples/korvane-sample.mp4" player-scale2.png
echo "screenshots in $out"
