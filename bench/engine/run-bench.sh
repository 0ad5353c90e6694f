#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Engine benchmark: start to first picture on screen, CPU time and peak memory over 5 s of
# a 720p clip, for the entry player (our engine) and for mpv --vo=gpu --gpu-sw=yes, side by side
# in one run under Xvfb with Mesa's software OpenGL. Writes the figures into bench/README.md.
#
# run-bench.sh [build-dir] [runs]   (default: build, 5 runs each, alternating)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
player=$build/bin/KorvaneRP3LXZELTA
probe=$build/bin/first_picture_probe
for tool in "$player" "$probe"; do
  [[ -x $tool ]] || { echo "bench: $tool missing; build targets KorvaneRP3LXZELTA and first_picture_probe" >&2; exit 1; }
done
command -v mpv >/dev/null || { echo "bench: mpv not installed" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The clip: 720p H.264 at 30 fps with AAC audio, 10 s, made here rather than committed.
clip=$work/bench-720p.mp4
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=1280x720:rate=30:duration=10 \
  -f lavfi -i sine=frequency=440:duration=10 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
  -c:a aac -b:a 128k -movflags +faststart "$clip"

# Our own display, so that nothing else draws on it.
fifo=$work/display
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp +extension GLX 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display <"$fifo" || { echo "bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb

# Both show the clip unscaled at the top-left corner. mpv gets the audio settings our engine
# uses (the same output drivers tried, then silence), so that both do the same audio work
# on a machine without sound.
# Ours is the entry player itself, from a scratch folder whose settings place its picture
# at 1280 x 720 in the top-left corner: outer 1287 x 778 px less the layout's allowances.
scratch=$work/player && mkdir -p "$scratch"
cp "$build/bin/KorvaneRP3LXZELTA" "$scratch/"
printf '[Korvane RP 3]\r\nScreenInfoSave=1\r\nNotWindowsXP=0\r\n[Screen]\r\nHeight=778\r\nWidth=1287\r\nTop=0\r\nLeft=0\r\n' >"$scratch/kvnset.ini"
export XDG_RUNTIME_DIR="$scratch" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
ours=("$scratch/KorvaneRP3LXZELTA" "$clip")
theirs=(mpv --no-config --vo=gpu --gpu-sw=yes --ao=pipewire,pulse,alsa,jack --audio-fallback-to-null=yes --geometry=1280x720+0+0 --force-window=no "$clip")

load_before=$(cut -d' ' -f1 /proc/loadavg)
declare -a our_first our_cpu our_peak mpv_first mpv_cpu mpv_peak
measure() {  # name, command...
  local name=$1
  shift
  local line
  line=$("$probe" 640 360 5 -- "$@" 2>/dev/null) || { echo "bench: $name showed no picture" >&2; exit 1; }
  echo "  $name: $line" >&2
  eval "$(echo "$line" | tr ' ' '\n' | sed "s/^/${name}_/")"
}
for ((i = 1; i <= runs; i++)); do
  echo "bench: run $i of $runs" >&2
  measure ours "${ours[@]}"
  our_first+=("$ours_first_picture_ms") our_cpu+=("$ours_cpu_s") our_peak+=("$ours_peak_mb")
  measure mpv "${theirs[@]}"
  mpv_first+=("$mpv_first_picture_ms") mpv_cpu+=("$mpv_cpu_s") mpv_peak+=("$mpv_peak_mb")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
of=$(median "${our_first[@]}") oc=$(median "${our_cpu[@]}") op=$(median "${our_peak[@]}")
mf=$(median "${mpv_first[@]}") mc=$(median "${mpv_cpu[@]}") mp=$(median "${mpv_peak[@]}")
# The machine is shared: each of our runs is compared with the mpv run right after it, and
# the verdict goes by the median of those paired ratios, which drifting load hardly moves.
declare -a first_ratios cpu_ratios peak_diffs
for ((i = 0; i < runs; i++)); do
  first_ratios+=("$(awk -v a="${our_first[i]}" -v b="${mpv_first[i]}" 'BEGIN { print a / b }')")
  cpu_ratios+=("$(awk -v a="${our_cpu[i]}" -v b="${mpv_cpu[i]}" 'BEGIN { print a / b }')")
  peak_diffs+=("$(awk -v a="${our_peak[i]}" -v b="${mpv_peak[i]}" 'BEGIN { print a - b }')")
done
fr=$(median "${first_ratios[@]}") cr=$(median "${cpu_ratios[@]}") pd=$(median "${peak_diffs[@]}")
verdict() { awk -v ok="$1" 'BEGIN { print ok ? "met" : "**missed**" }'; }
first_ok=$(awk -v r="$fr" 'BEGIN { print r <= 1.10 }')
cpu_ok=$(awk -v r="$cr" 'BEGIN { print r <= 1.0 }')
peak_ok=$(awk -v d="$pd" 'BEGIN { print d <= 25 }')
fmt() { awk -v v="$1" -v f="$2" 'BEGIN { printf f, v }'; }

mpv_version=$(mpv --version 2>/dev/null | awk 'NR == 1 { print $1, $2 }')
renderer=$(LIBGL_ALWAYS_SOFTWARE=1 glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)
cat >"$work/engine.md" <<MD
# Benchmarks

## Engine: the entry player against mpv

\`bench/engine/run-bench.sh [build-dir] [runs]\` generates a 10 s 720p30 H.264 clip with
ffmpeg, starts its own Xvfb with Mesa's software OpenGL, and runs the entry player \`KorvaneRP3LXZELTA\` (its picture placed at 1280 x 720 by its settings file; window,
picture and control panel, on our engine) and \`$(echo "${theirs[@]}" | sed "s|$clip|<clip>|")\`
alternately, $runs times each. \`first_picture_probe\` starts each program and measures it from
outside in the same way: time from start until the middle of the picture is lit on screen,
then, 5 s later, the process's CPU time (user + system, all threads) and peak memory (VmHWM).

| | ours | mpv | ours vs mpv | target | |
|---|---|---|---|---|---|
| start to first picture | ${of} ms | ${mf} ms | $(fmt "$fr" "%.2f")× | ≤ 1.10× | $(verdict "$first_ok") |
| CPU time, start + 5 s of playback | ${oc} s | ${mc} s | $(fmt "$cr" "%.2f")× | ≤ 1.0× | $(verdict "$cpu_ok") |
| peak memory | ${op} MB | ${mp} MB | $(fmt "$pd" "%+.1f") MB | ≤ mpv + 25 MB | $(verdict "$peak_ok") |

The first two columns are medians of each program's runs; "ours vs mpv" is the median of the
paired comparisons (each of our runs against the mpv run right after it).
Both try the same audio outputs (pipewire, pulse, alsa, jack, then silence: mpv is given our
engine's settings) and decode the audio all the same.
Measured $(date -u +%Y-%m-%d) on $(nproc) cores (load average ${load_before} at the start, $(cut -d' ' -f1 /proc/loadavg) at the end: the
machine is shared), ${mpv_version}, ${renderer:-Mesa software OpenGL}.
Each run's figures: ours first picture ${our_first[*]} ms, CPU ${our_cpu[*]} s, peak ${our_peak[*]} MB;
mpv first picture ${mpv_first[*]} ms, CPU ${mpv_cpu[*]} s, peak ${mpv_peak[*]} MB.

MD
# Only the engine section is replaced; the other benchmarks' sections stay as they are.
readme=$root/bench/README.md
{
  cat "$work/engine.md"
  [[ -f $readme ]] && awk 'seen && /^## / { keep = 1 } /^## Engine/ { seen = 1 } keep' "$readme"
} >"$work/README.md"
mv "$work/README.md" "$readme"
echo "bench: written to bench/README.md" >&2
sed -n '/^| start/,/^| peak/p' "$root/bench/README.md"
