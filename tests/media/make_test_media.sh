#!/usr/bin/env bash
# Generates the small media files the tests read, with the ffmpeg program's lavfi sources.
# Deterministic: same facts every run. Usage: make_test_media.sh OUTPUT_FOLDER
set -euo pipefail
out=${1:?output folder}
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
exact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1)
video() { echo "testsrc=size=$1:rate=$2:duration=$3"; }
tone() { echo "sine=frequency=440:sample_rate=$1:duration=$2"; }

# QuickTime, H.264 + AAC, 320x240, 25 fps, 2 s.
ff -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 44100 2)" \
   -c:v libx264 -preset ultrafast -pix_fmt yuv420p -threads 1 -c:a aac "${exact[@]}" sample.mov
# MPEG-4 at NTSC and film rates.
ff -f lavfi -i "$(video 320x240 30000/1001 2)" -f lavfi -i "$(tone 48000 2)" \
   -c:v mpeg4 -c:a aac "${exact[@]}" ntsc.mp4
ff -f lavfi -i "$(video 176x144 24000/1001 2)" -c:v mpeg4 "${exact[@]}" film.mp4
# Audio only.
ff -f lavfi -i "$(tone 44100 3)" -c:a aac "${exact[@]}" audio.m4a
# A name with blanks and non-ASCII letters.
cp sample.mov "Größe und Länge é.mov"
# A QuickTime file cut short: its header box is never reached.
head -c 20000 sample.mov > truncated.mov
# Not a media file at all, under a media file's name.
printf 'This is a text file, not a movie.\n' > clip.mov
# A container written as a stream: it does not know its duration.
ff -f lavfi -i "$(video 320x240 25 2)" -c:v mpeg4 "${exact[@]}" -f matroska pipe:1 > noduration.mkv
# Timestamps starting at 1 s, a key frame every 0.2 s: for start-time seeks and offsets.
ff -f lavfi -i "$(video 320x240 25 4)" -c:v mpeg4 -g 5 -output_ts_offset 1 "${exact[@]}" late.mkv
# Video with a subtitle stream.
printf '1\n00:00:00,000 --> 00:00:01,000\nHello\n\n2\n00:00:01,000 --> 00:00:02,000\nWorld\n' \
  > subtitles.srt
ff -f lavfi -i "$(video 176x144 25 2)" -i subtitles.srt -c:v mpeg4 -c:s srt "${exact[@]}" \
   subtitled.mkv
# Pixels twice as wide as high; and raw video in AVI, whose header has no pixel aspect.
ff -f lavfi -i "$(video 320x240 25 1)" -vf setsar=2 -c:v mpeg4 "${exact[@]}" wide.mp4
ff -f lavfi -i "$(video 64x48 25 0.2)" -c:v rawvideo -pix_fmt yuv420p "${exact[@]}" raw.avi
# An MPEG transport stream with two programs of one video stream each.
ff -f lavfi -i "$(video 64x48 25 0.4)" -f lavfi -i "$(video 64x48 25 0.4)" -map 0 -map 1 \
   -program program_num=1:st=0 -program program_num=2:st=1 -c:v mpeg2video "${exact[@]}" \
   programs.ts
# Streams at the MP3 and MP4 entries' settings (stereo), and near misses of them.
stereo=(-ac 2 "${exact[@]}")
ff -f lavfi -i "$(tone 48000 3)" -c:a libmp3lame -b:a 192k "${stereo[@]}" fit.mp3
ff -f lavfi -i "$(tone 48000 3)" -c:a libmp3lame -b:a 256k "${stereo[@]}" rich.mp3
ff -f lavfi -i "$(tone 44100 3)" -c:a libmp3lame -b:a 192k "${stereo[@]}" cd.mp3
ff -f lavfi -i "$(tone 44100 2)" -c:a pcm_s16le "${stereo[@]}" fit.wav
ff -f lavfi -i "$(tone 44100 2)" -c:a aac -b:a 96k "${stereo[@]}" adts.aac
ff -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 44100 2)" -c:v mpeg4 -b:v 800k \
   -c:a aac -b:a 96k "${stereo[@]}" fit.mp4
# The same streams in Matroska, which keeps no bit rates.
ff -i fit.mp4 -c copy "${exact[@]}" fit.mkv
ff -f lavfi -i "$(video 320x240 25 2)" -f lavfi -i "$(tone 44100 2)" -c:v libx264 \
   -preset ultrafast -pix_fmt yuv420p -b:v 500k -threads 1 -c:a aac -b:a 96k "${stereo[@]}" \
   h264.mp4
# Two pictures of every five of a 25 fps source: the frame rate varies.
ff -f lavfi -i "$(video 320x240 25 2)" -vf "select=lt(mod(n\,5)\,2)" -fps_mode vfr -c:v mpeg4 \
   -b:v 400k "${exact[@]}" gaps.mp4
