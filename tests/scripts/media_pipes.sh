#!/usr/bin/env bash
# Media on standard output and snapshots: `--out -` feeds a pipe that
# ffprobe reads, a reader that closes the pipe early ends vapixcam normally,
# a snapshot decodes, and a cut JPEG answer leaves no file.
# $1: the build's bin directory.
set -uo pipefail
bin="${1:?usage: media_pipes.sh BIN_DIR}"
. "$(dirname "$0")/lib/camsim.sh"
vapixcam="$bin/vapixcam"

start_camsim "$bin/camsim" --model P3245-LVE

# codec option | ffprobe's codec name
for row in "H264|h264" "MJPEG|mjpeg"; do
    IFS='|' read -r codec probed <<<"$row"
    "$vapixcam" live "$url" --codec "$codec" --seconds 2 --out - 2>"$work/live.err" |
        ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 - >"$work/probe" 2>&1
    status=("${PIPESTATUS[@]}")
    [ "${status[0]}" -eq 0 ] || { cat "$work/live.err" >&2; fail "live --out - ($codec) exited ${status[0]}"; }
    [ "$(cat "$work/probe")" = "$probed,1920,1080" ] || { cat "$work/probe" >&2; fail "ffprobe read '$(cat "$work/probe")' for $codec"; }
    grep -q '"codec":"'"$codec"'"' "$work/live.err" || { cat "$work/live.err" >&2; fail "no summary on stderr"; }
done

# A reader that stops after a few kilobytes: exit 0, no error line, and the
# summary says the reader went away long before the 60 s asked for.
"$vapixcam" live "$url" --seconds 60 --out - 2>"$work/early.err" | head -c 20000 >/dev/null
status=("${PIPESTATUS[@]}")
[ "${status[0]}" -eq 0 ] || { cat "$work/early.err" >&2; fail "a closed pipe made vapixcam exit ${status[0]}"; }
no_error_line "$work/early.err" "a closed pipe printed an error"
grep -q '"readerClosed":true' "$work/early.err" || { cat "$work/early.err" >&2; fail "no readerClosed in the summary"; }

# Snapshots: to a file (decoded by ffmpeg at the asked size), to stdout.
"$vapixcam" snapshot "$url" --resolution 640x360 --out "$work/a.jpg" >"$work/snap" 2>&1 ||
    { cat "$work/snap" >&2; fail "snapshot failed"; }
ffmpeg -v error -i "$work/a.jpg" -f null - || fail "the snapshot does not decode"
[ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$work/a.jpg")" = "640,360" ] ||
    fail "the snapshot is not 640x360"
"$vapixcam" snapshot "$url" --channel 1 --out - >"$work/b.jpg" 2>"$work/b.err" || { cat "$work/b.err" >&2; fail "snapshot to stdout failed"; }
cmp -s <(head -c 2 "$work/b.jpg" | od -An -tx1) <(printf '\xff\xd8' | od -An -tx1) || fail "stdout holds no JPEG"
no_error_line "$work/b.err" "snapshot to stdout printed an error"

# Refusals: each leaves no file and says why. camsim's fault | exit | text
cases=(
    "truncate:4000|1|not a whole JPEG"
    "status:503|1|HTTP 503"
    "close|1|no picture"
)
for row in "${cases[@]}"; do
    IFS='|' read -r fault expected text <<<"$row"
    start_camsim "$bin/camsim" --model P3245-LVE --fault "/axis-cgi/jpg/image.cgi=$fault"
    rm -f "$work/c.jpg"
    "$vapixcam" snapshot "$url" --out "$work/c.jpg" >"$work/c.out" 2>"$work/c.err"
    status=$?
    [ "$status" -eq "$expected" ] || { cat "$work/c.err" >&2; fail "fault $fault: exit $status instead of $expected"; }
    [ ! -e "$work/c.jpg" ] || fail "fault $fault left a file"
    grep -q "$text" "$work/c.err" || { cat "$work/c.err" >&2; fail "fault $fault: no '$text' in the error"; }
done
echo "pipes and snapshots work"
