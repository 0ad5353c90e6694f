#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the settings window's pictures for the README under a private Xvfb, at 96 dpi
# and at twice the scale (the second beside the first, "-scale2" before ".png"):
#   bash settings-tool/screenshot.sh build/bin docs/screenshots/settings-tool.png
set -euo pipefail
bin=$(realpath "$1")
out=$(realpath -m "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$bin/KorvaneRP3set" "$work/"
printf '[Korvane RP 3]\r\nAlwaysFront=1\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=1\r\n[KeepConnect]\r\n.avi=1\r\n.mp3=1\r\n.mpg=1\r\n' >"$work/kvnset.ini"
mkdir -m 700 "$work/run"
cat >"$work/shoot.sh" <<SHOT
shoot() {
  cd "$work"
  XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=\$1 ./KorvaneRP3set & pid=\$!
  for i in \$(seq 50); do
    wid=\$(xdotool search --name "Korvane RP 3" 2>/dev/null | head -1) && [ -n "\$wid" ] && break
    sleep 0.2
  done
  sleep 1
  import -window "\$wid" "\$2"
  kill \$pid
  wait \$pid || true
}
shoot 1 "$out"
shoot 2 "${out%.png}-scale2.png"
SHOT
xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" bash "$work/shoot.sh"
echo "screenshots: $out ${out%.png}-scale2.png"
