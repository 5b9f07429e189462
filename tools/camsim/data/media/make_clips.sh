#!/bin/sh
# Makes camsim's video clips with ffmpeg into the directory given as $1:
# h264-WxH.264 and h265-WxH.265 (Annex B, a key frame every second, no
# B-frames, parameter sets before every key frame) and jpeg-WxH.mjpeg
# (baseline 4:2:0 JPEGs with the standard Huffman tables, one after another),
# 25 frames per second, 3 s of test pattern with the frame number burnt in.
# Audio: 3 s of an 800 Hz sine (a whole number of periods, so the loop has
# no click) as the camera's encoders send it: audio-mulaw-8000.raw (G.711
# mu-law), audio-g726-32-8000.raw and audio-g726-24-8000.raw (G.726 with the
# code words packed from the least significant bit, as RFC 3551 and Axis
# firmware do), audio-aac-8000.adts and audio-aac-16000.adts (AAC LC in ADTS).
# Files already there are kept; a stamp file marks a complete set.
set -eu
out=${1:?usage: make_clips.sh OUTPUT_DIR}
ffmpeg=${FFMPEG:-ffmpeg}
rate=25
seconds=3
mkdir -p "$out"

pattern() {
    size=$1
    base="testsrc2=size=$size:rate=$rate:duration=$seconds"
    counter="drawtext=text='%{frame_num}':x=24:y=24:fontsize=h/8:fontcolor=white:box=1:boxcolor=black@0.6"
    # drawtext needs a font; without one the clip is made without the number.
    if "$ffmpeg" -hide_banner -loglevel quiet -f lavfi -i "$base,$counter" -frames:v 1 -f null - 2>/dev/null; then
        echo "$base,$counter"
    else
        echo "$base"
    fi
}

make() {
    file=$out/$1
    shift
    [ -s "$file" ] && return 0
    "$ffmpeg" -hide_banner -loglevel error -nostdin -y "$@" "$file.part"
    mv "$file.part" "$file"
}

for size in 1920x1080 1280x720 704x576 640x360; do
    src=$(pattern "$size")
    make "h264-$size.264" -f lavfi -i "$src" -c:v libx264 -preset veryfast -profile:v main -pix_fmt yuv420p \
        -g $rate -keyint_min $rate -sc_threshold 0 -bf 0 -crf 30 -x264-params repeat-headers=1 -f h264
    make "h265-$size.265" -f lavfi -i "$src" -c:v libx265 -preset ultrafast -pix_fmt yuv420p -crf 32 \
        -x265-params "keyint=$rate:min-keyint=$rate:scenecut=0:bframes=0:repeat-headers=1:log-level=error" -f hevc
    make "jpeg-$size.mjpeg" -f lavfi -i "$src" -c:v mjpeg -pix_fmt yuvj420p -huffman default -q:v 8 -f mjpeg
done
tone="sine=frequency=800:sample_rate=8000:duration=$seconds"
make "audio-mulaw-8000.raw" -f lavfi -i "$tone" -c:a pcm_mulaw -f mulaw
make "audio-g726-32-8000.raw" -f lavfi -i "$tone" -c:a adpcm_g726le -b:a 32k -f g726le
make "audio-g726-24-8000.raw" -f lavfi -i "$tone" -c:a adpcm_g726le -b:a 24k -f g726le
for rate in 8000 16000; do
    make "audio-aac-$rate.adts" -f lavfi -i "sine=frequency=800:sample_rate=$rate:duration=$seconds" \
        -c:a aac -b:a 32k -ac 1 -f adts
done
touch "$out/clips.stamp"
