#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the small clips the media engine tests play. Run from anywhere; the clips are committed,
# so this is only needed to change them. Needs ffmpeg.
set -euo pipefail
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# Picture with a bright pattern (so a rendered frame is never black) and a tone, 3 s.
ff -f lavfi -i testsrc=size=320x240:rate=15:duration=3 -f lavfi -i sine=frequency=440:duration=3 \
   -c:v libx264 -preset veryfast -crf 35 -pix_fmt yuv420p -c:a aac -b:a 32k -ac 1 \
   -metadata title="Test Pattern" -metadata artist="Korvane" -movflags +faststart h264.mp4
# RealMedia: RealVideo 1 (sizes divisible by 16) with AC-3 audio, 3 s.
ff -f lavfi -i testsrc=size=176x144:rate=15:duration=3 -f lavfi -i sine=frequency=660:duration=3 \
   -c:v rv10 -b:v 100k -c:a ac3 -b:a 64k -ac 1 -metadata title="Real Clip" -metadata author="Real Author" clip.rm
# Audio only, tagged.
ff -f lavfi -i sine=frequency=330:duration=3 -c:a libmp3lame -b:a 32k -ac 1 \
   -metadata title="Tagged Tone" -metadata artist="Tone Artist" tagged.mp3
ff -f lavfi -i sine=frequency=550:duration=2 -ac 1 -ar 8000 -c:a pcm_s16le tone.wav

# Playlists of two entries: relative paths, a comment and a blank line.
printf '# two clips\r\ntone.wav\r\n\r\ntagged.mp3\r\n' > list.ram
printf '#EXTM3U\n#EXTINF:2,Tone\ntone.wav\n#EXTINF:3,Tagged\ntagged.mp3\n' > list.m3u

# A folder of three clips (natural order: 1, 2, 10) and a file that is not media.
mkdir -p folder
ff -f lavfi -i sine=frequency=200:duration=2 -ac 1 -ar 8000 -c:a pcm_s16le "folder/clip 1.wav"
ff -f lavfi -i sine=frequency=300:duration=2 -c:a libmp3lame -b:a 32k -ac 1 "folder/clip 2.mp3"
ff -f lavfi -i testsrc=size=64x48:rate=10:duration=2 -c:v libx264 -preset veryfast -crf 40 \
   -pix_fmt yuv420p "folder/clip 10.mp4"
printf 'not a clip\n' > folder/notes.txt

# Bad sources.
mkdir -p bad
: > bad/empty.mp4
printf 'This is a plain text file, not a clip.\nSecond line.\n' > bad/text.txt
# A container header that promises a clip, then zeros.
{ head -c 64 h264.mp4; head -c 8192 /dev/zero; } > bad/corrupt.mp4
