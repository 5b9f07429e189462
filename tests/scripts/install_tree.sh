#!/usr/bin/env bash
# cmake --install lays out a tree that works on its own: the installed
# vapixcam finds the installed module and the installed camsim its models and
# clips, with no build-tree path anywhere on the command line.
# $1: the build's bin directory.
set -uo pipefail
bin="${1:?usage: install_tree.sh BIN_DIR}"
. "$(dirname "$0")/lib/camsim.sh"

prefix="$work/prefix with space"
cmake --install "$bin/.." --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
for f in bin/vapixcam bin/camsim lib/vapixcam/Velto.Vapixcam.vdx lib/vapixcam/Velto.Vapixcam.rep \
         include/orix/gdrv/IModule.h share/vapixcam/camsim/models/P3245-LVE.params; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
ls "$prefix"/share/vapixcam/camsim/media/h264-*.264 >/dev/null 2>&1 || fail "no video clips installed"

# The default module is the installed one, not the build's.
"$prefix/bin/vapixcam" info --help >"$work/help" 2>&1
grep -qF "$prefix/lib/vapixcam/Velto.Vapixcam.vdx" "$work/help" ||
    { cat "$work/help" >&2; fail "the installed vapixcam does not default to the installed module"; }

# Run from elsewhere, so that nothing is found relative to the current folder.
cd "$work"
start_camsim "$prefix/bin/camsim" --model P3245-LVE
"$prefix/bin/vapixcam" info "$url" --timeout 30 >"$work/info" 2>"$work/info.err" ||
    { cat "$work/info" "$work/info.err" >&2; fail "installed vapixcam info failed"; }
grep -q '"connected" *: *true' "$work/info" || { cat "$work/info" >&2; fail "not connected"; }
grep -q '"product" *: *"P3245-LVE"' "$work/info" || { cat "$work/info" >&2; fail "wrong product"; }

# The installed camsim streams its installed clips.
"$prefix/bin/vapixcam" live "$url" --seconds 1 --out "$work/cam.h264" --codec H264 >"$work/live" 2>"$work/live.err" ||
    { cat "$work/live" "$work/live.err" >&2; fail "installed vapixcam live failed"; }
grep -q '"codec" *: *"H264"' "$work/live" || { cat "$work/live" >&2; fail "no H.264 frames"; }
echo "installed tree works: $(head -c 120 "$work/live")"
