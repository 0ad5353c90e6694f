#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Engine benchmark, the players as users run them: a session with a running sound server
# (PipeWire with a null sink), Xvfb with Mesa's software OpenGL, the same 720p clip shown
# unscaled by the entry player (our engine), mpv --vo=gpu --gpu-sw=yes and VLC, all three
# with their default audio output. Measures start to first picture, CPU time and peak memory
# over 5 s after it, our hand-over start against a cold start, and key (Space) to picture
# pause for ours and mpv. Writes the figures into bench/README.md.
#
# run-bench.sh [build-dir] [runs]   (default: build, 7 runs each, alternating)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-7}
player=$build/bin/KorvaneRP3LXZELTA
probe=$build/bin/first_picture_probe
keyprobe=$build/bin/key_pause_probe
for tool in "$player" "$build/bin/KorvaneRP3LX" "$probe" "$keyprobe"; do
  [[ -x $tool ]] || { echo "bench: $tool missing; build KorvaneRP3LXZELTA, KorvaneRP3LX, first_picture_probe and key_pause_probe" >&2; exit 1; }
done

# The benchmark's own packages: the peers and the sound server are not the test suite's.
packages=(mpv vlc pipewire pipewire-pulse wireplumber pulseaudio-utils dbus xvfb libgl1-mesa-dri mesa-utils ffmpeg libxtst6 util-linux)
bash "$root/scripts/install-missing.sh" "${packages[@]}"

work=$(mktemp -d)
chmod 755 "$work"  # VLC runs as another user and reads the clip from here
pids=()
cleanup() {
  # The sound server and the display go last, in the reverse of their start.
  for ((k = ${#pids[@]} - 1; k >= 0; k--)); do kill "${pids[k]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$work"
}
trap cleanup EXIT

# The clip: 720p H.264 at 30 fps with AAC audio, 10 s, made here rather than committed.
clip=$work/bench-720p.mp4
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=1280x720:rate=30:duration=10 \
  -f lavfi -i sine=frequency=440:duration=10 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
  -c:a aac -b:a 128k -movflags +faststart "$clip"
chmod 644 "$clip"

# Our own display, large enough for VLC's window with its menu and controls.
fifo=$work/display
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp +extension GLX 3>"$fifo" >/dev/null 2>&1 &
pids+=($!)
read -r -t 30 display <"$fifo" || { echo "bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb

# The sound server in a private runtime folder: PipeWire, its session manager (which needs a
# bus of its own) and its PulseAudio server, with a null sink as the default output.
# The folder is passable (not readable) by others, so that VLC's user reaches the socket.
runtime=$work/run
mkdir -m 711 "$runtime"
export XDG_RUNTIME_DIR=$runtime HOME=$work/home
mkdir -p "$HOME"
bus_line=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd ' ')
pids+=("${bus_line##* }")
sound_bus=${bus_line% *}
DBUS_SESSION_BUS_ADDRESS=$sound_bus pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S $runtime/pipewire-0 ]] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$sound_bus wireplumber >"$work/wireplumber.log" 2>&1 &
pids+=($!)
DBUS_SESSION_BUS_ADDRESS=$sound_bus pipewire-pulse >"$work/pipewire-pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl load-module module-null-sink sink_name=bench sink_properties=device.description=bench >/dev/null
pactl set-default-sink bench
chmod 711 "$runtime/pulse"
sound_server=$(pactl info | sed -n 's/^Server Name: //p')
# The players get no session bus, as before (MPRIS is measured on its own).
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

# Ours is the entry player itself, from a scratch folder whose settings place its picture
# at 1280 x 720 in the top-left corner: outer 1287 x 778 px less the layout's allowances.
settings() {  # folder, extra lines, program
  mkdir -p "$1"
  cp "${3:-$player}" "$1/"
  printf '[Korvane RP 3]\r\nScreenInfoSave=1\r\nNotWindowsXP=0\r\n%s[Screen]\r\nHeight=778\r\nWidth=1287\r\nTop=0\r\nLeft=0\r\n' "${2:-}" >"$1/kvnset.ini"
}
settings "$work/player"
# The standard player for the hand-over: the entry player looks for the standard one's window.
settings "$work/handover" $'NotMultiStart=1\r\nNotPlayInfoDisplay=1\r\n' "$build/bin/KorvaneRP3LX"
ours=("$work/player/KorvaneRP3LXZELTA" "$clip")
mpv_cmd=(mpv --no-config --vo=gpu --gpu-sw=yes --geometry=1280x720+0+0 --force-window=no "$clip")
# VLC refuses root: it runs as nobody (setpriv keeps the pid, so the probe sees VLC itself),
# with a home and runtime folder of its own and the sound server's socket named.
vlc_home=$work/vlc-home vlc_runtime=$work/vlc-run
mkdir -p "$vlc_home" "$vlc_runtime"
chmod 700 "$vlc_runtime"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  chown 65534:65534 "$vlc_home" "$vlc_runtime"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
vlc_cmd=("${as_user[@]}" env HOME="$vlc_home" XDG_RUNTIME_DIR="$vlc_runtime" PULSE_SERVER="unix:$runtime/pulse/native"
  vlc --no-qt-privacy-ask "$clip")
# VLC's window (menu 22 px above the picture) is centred on the screen.
vlc_x=$(((1920 - 1280) / 2 + 640)) vlc_y=$(((1200 - 794) / 2 + 22 + 360))

load_before=$(cut -d' ' -f1 /proc/loadavg)
declare -a ours_first ours_cpu ours_peak mpv_first mpv_cpu mpv_peak vlc_first vlc_cpu vlc_peak
declare -a cold handover ours_key mpv_key
measure() {  # name, x, y, command...
  local name=$1 x=$2 y=$3 line
  shift 3
  line=$("$probe" "$x" "$y" 5 -- "$@" 2>/dev/null) || { echo "bench: $name showed no picture" >&2; exit 1; }
  echo "  $name: $line" >&2
  eval "$(echo "$line" | tr ' ' '\n' | sed "s/^/${name}_/")"
  eval "${name}_first+=(\"\$${name}_first_picture_ms\") ${name}_cpu+=(\"\$${name}_cpu_s\") ${name}_peak+=(\"\$${name}_peak_mb\")"
}
for ((i = 1; i <= runs; i++)); do
  echo "bench: first picture, run $i of $runs" >&2
  measure ours 640 360 "${ours[@]}"
  measure mpv 640 360 "${mpv_cmd[@]}"
  measure vlc "$vlc_x" "$vlc_y" "${vlc_cmd[@]}"
done

# Alive and not a zombie: what ends after its probe has gone is nobody's child to reap.
alive() { [[ $(ps -o stat= -p "$1" 2>/dev/null) == [^Z]* ]]; }
# Hand-over: a cold start that keeps playing, then a second player that closes it (its
# picture counts once the first one's has gone).
for ((i = 1; i <= runs; i++)); do
  line=$("$probe" --keep 640 360 0 -- "$work/handover/KorvaneRP3LX" "$clip") || { echo "bench: no cold start" >&2; exit 1; }
  first_pid=${line##*pid=}
  sleep 1
  line2=$("$probe" --after-dark 640 360 0 -- "$work/handover/KorvaneRP3LX" "$clip") || { echo "bench: no hand-over" >&2; exit 1; }
  for _ in $(seq 100); do alive "$first_pid" || break; sleep 0.1; done
  alive "$first_pid" && { kill "$first_pid"; echo "bench: the first player did not close" >&2; exit 1; }
  echo "  cold: $line / hand-over: $line2" >&2
  cold+=("$(echo "$line" | sed 's/.*first_picture_ms=\([0-9-]*\).*/\1/')")
  handover+=("$(echo "$line2" | sed 's/.*first_picture_ms=\([0-9-]*\).*/\1/')")
done

# Key to effect: in the clip's lower right the time code changes with every frame.
for ((i = 1; i <= runs; i++)); do
  for name in ours mpv; do
    if [[ $name == ours ]]; then cmd=("${ours[@]}"); else cmd=("${mpv_cmd[@]}"); fi
    line=$("$keyprobe" 800 400 160 80 -- "${cmd[@]}" 2>/dev/null) || { echo "bench: $name did not pause on Space" >&2; exit 1; }
    echo "  $name key: $line" >&2
    eval "${name}_key+=(\"$(echo "$line" | sed 's/key_to_still_ms=\([0-9.]*\).*/\1/')\")"
  done
done
load_after=$(cut -d' ' -f1 /proc/loadavg)

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Paired figures: each of our runs against the peer's run right after it, whose median
# drifting load hardly moves.
paired() {  # op (ratio|diff), ours array name, theirs array name
  local -n a=$2 b=$3
  local k out=()
  for ((k = 0; k < ${#a[@]}; k++)); do
    out+=("$(awk -v x="${a[k]}" -v y="${b[k]}" -v op="$1" 'BEGIN { print op == "ratio" ? x / y : x - y }')")
  done
  median "${out[@]}"
}
fmt() { awk -v v="$1" -v f="$2" 'BEGIN { printf f, v }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print v <= limit ? "met" : "**missed**" }'; }
of=$(median "${ours_first[@]}") mf=$(median "${mpv_first[@]}") vf=$(median "${vlc_first[@]}")
oc=$(median "${ours_cpu[@]}") mc=$(median "${mpv_cpu[@]}") vc=$(median "${vlc_cpu[@]}")
op=$(median "${ours_peak[@]}") mp=$(median "${mpv_peak[@]}") vp=$(median "${vlc_peak[@]}")
first_mpv=$(paired ratio ours_first mpv_first) first_vlc=$(paired ratio ours_first vlc_first)
cpu_mpv=$(paired ratio ours_cpu mpv_cpu) cpu_vlc=$(paired ratio ours_cpu vlc_cpu)
peak_mpv=$(paired diff ours_peak mpv_peak) peak_vlc=$(paired diff ours_peak vlc_peak)
mf_vlc=$(paired ratio mpv_first vlc_first)
hc=$(median "${cold[@]}") hh=$(median "${handover[@]}") hd=$(paired diff handover cold)
ok=$(median "${ours_key[@]}") mk=$(median "${mpv_key[@]}")

ver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "?"; }
renderer=$(glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)
cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
show() { echo "$*" | sed "s|$clip|<clip>|; s|$work|<tmp>|g"; }
cat >"$work/engine.md" <<MD
# Benchmarks

## Engine: the entry player against mpv and VLC, with a sound server

\`bench/engine/run-bench.sh [build-dir] [runs]\` installs what it needs (mpv, VLC, PipeWire and
its PulseAudio server, WirePlumber), generates a 10 s 720p30 H.264 + AAC clip with ffmpeg,
starts its own Xvfb (1920 x 1200) with Mesa's software OpenGL and its own sound server in a
private runtime folder (PipeWire, WirePlumber on a bus of its own, pipewire-pulse, a null sink as
the default output), and stops them all at its end. Every program shows the clip unscaled
(1280 x 720) with its default audio output, which reaches the null sink:

- ours: the entry player \`KorvaneRP3LXZELTA <clip>\` (window, picture and control panel), its
  picture placed at 1280 x 720 in the top-left corner by its settings file;
- mpv: \`$(show "${mpv_cmd[@]}")\`;
- VLC: \`vlc --no-qt-privacy-ask <clip>\` with its Qt interface, as user nobody (VLC refuses
  root), \`PULSE_SERVER\` naming the same server.

\`first_picture_probe\` starts each program and measures it from outside in the same way: time
from start until the middle of the picture is lit on screen, then, 5 s later, the process's CPU
time (user + system, all threads) and peak memory (VmHWM). The three run in turn, $runs times.
Hand-over: ours with NotMultiStart on, a cold start that plays on, then a second start that
closes it, timed until the second one's picture shows where the first one's was (\`--after-dark\`);
$runs pairs. Key to effect: \`key_pause_probe\` waits until the picture has played for a second,
presses Space through XTEST and samples a 160 x 80 part of the picture where the time code
changes every frame, every ~1 ms; the figure is the time from the press to the last change
(0: no new frame after the press); ours and mpv in turn, $runs times.

| player | start to first picture | peak memory | CPU over 5 s after it |
|---|---|---|---|
| mpv --vo=gpu --gpu-sw=yes | ${mf} ms (1.00×) | ${mp} MB | ${mc} s |
| KorvaneRP3LXZELTA | ${of} ms ($(fmt "$first_mpv" "%.2f")×) | ${op} MB ($(fmt "$peak_mpv" "%+.1f")) | ${oc} s ($(fmt "$cpu_mpv" "%.2f")×) |
| VLC 3, Qt interface | ${vf} ms ($(fmt "$(awk -v a="$mf_vlc" 'BEGIN { print 1 / a }')" "%.2f")×) | ${vp} MB | ${vc} s |

| target | figure | |
|---|---|---|
| start to first picture ≤ 0.95× mpv | $(fmt "$first_mpv" "%.2f")× | $(verdict "$first_mpv" 0.95) |
| start to first picture ≤ 0.75× VLC | $(fmt "$first_vlc" "%.2f")× | $(verdict "$first_vlc" 0.75) |
| peak memory ≤ mpv + 12 MB | $(fmt "$peak_mpv" "%+.1f") MB | $(verdict "$peak_mpv" 12) |
| CPU over start + 5 s ≤ 1.0× mpv | $(fmt "$cpu_mpv" "%.2f")× | $(verdict "$cpu_mpv" 1.0) |
| hand-over start ≤ cold start + 40 ms | ${hh} ms against ${hc} ms: $(fmt "$hd" "%+.0f") ms | $(verdict "$hd" 40) |
| key to effect ≤ 33 ms (ours) | ${ok} ms (mpv ${mk} ms) | $(verdict "$ok" 33) |

Figures in the first table are medians of each program's runs; the ratios and differences in
brackets (and the targets) are medians of paired comparisons, each run against the mpv run right
after it (VLC's bracket: VLC against mpv). Against VLC, ours is $(fmt "$first_vlc" "%.2f")× in start,
$(fmt "$cpu_vlc" "%.2f")× in CPU and $(fmt "$peak_vlc" "%+.1f") MB in memory (paired, medians). The hand-over pairs use the
standard player \`KorvaneRP3LX\` (the entry player hands over to it, not to itself), same clip
and size.
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores (${cpu_model}), shared with other work: load
average ${load_before} at the start, ${load_after} at the end. mpv $(ver mpv), libmpv $(ver libmpv2), VLC $(ver vlc),
Mesa $(ver libgl1-mesa-dri) (${renderer:-software OpenGL}), ${sound_server} (PipeWire $(ver pipewire),
WirePlumber $(ver wireplumber)), Qt $(ver libqt6core6).

Each run's figures (ms / s / MB):

- ours first picture ${ours_first[*]}; CPU ${ours_cpu[*]}; peak ${ours_peak[*]}
- mpv first picture ${mpv_first[*]}; CPU ${mpv_cpu[*]}; peak ${mpv_peak[*]}
- VLC first picture ${vlc_first[*]}; CPU ${vlc_cpu[*]}; peak ${vlc_peak[*]}
- ours cold start ${cold[*]}; hand-over start ${handover[*]}
- key to still picture: ours ${ours_key[*]}; mpv ${mpv_key[*]}

MD
# Only the engine section is replaced; the other sections stay as they are.
readme=$root/bench/README.md
{
  cat "$work/engine.md"
  [[ -f $readme ]] && awk 'seen && /^## / { keep = 1 } /^## Engine/ { seen = 1 } keep' "$readme"
} >"$work/README.md"
mv "$work/README.md" "$readme"
echo "bench: written to bench/README.md" >&2
sed -n '/^| target/,/^| key/p' "$readme"
