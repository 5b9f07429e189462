#!/usr/bin/env bash
# The Debian package: its control fields, its file list, dependencies that
# are real packages of this system, and an unpacked copy that runs
# `vapixcam sim` and `vapixcam info` from where the package put them.
# $1: the build's bin directory.
set -uo pipefail
bin="${1:?usage: package_deb.sh BIN_DIR}"
. "$(dirname "$0")/lib/camsim.sh"

build="$(cd "$bin/.." && pwd)"
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$work"/out/vapixcam_*.deb 2>/dev/null | head -n1)"
[ -n "$deb" ] || fail "no vapixcam_*.deb made"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vapixcam ] || fail "package name '$(field Package)'"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ "$(field Version)" = "$version" ] || fail "version '$(field Version)', the project says '$version'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture '$(field Architecture)'"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no maintainer or description"

# Depends comes from dpkg-shlibdeps: the libraries the binaries link, each a
# package installed here in a version that satisfies it.
depends="$(field Depends)"
for lib in libc6 libstdc++6 libssl3 libjsoncpp25; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
IFS=',' read -ra items <<<"$depends"
for item in "${items[@]}"; do
    item="$(echo "$item" | xargs)"
    name="${item%% *}"
    installed="$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null)" || fail "Depends names $name, not a package here"
    if [[ "$item" =~ \(([<>=]+)\ ([^\)]+)\) ]]; then
        op="${BASH_REMATCH[1]}"
        case "$op" in ">=") op=ge ;; "<=") op=le ;; ">>") op=gt ;; "<<") op=lt ;; "=") op=eq ;; esac
        dpkg --compare-versions "$installed" "$op" "${BASH_REMATCH[2]}" ||
            fail "$item is not met by the installed $name $installed"
    fi
done

# The file list: the programs, the module with its repository beside it,
# camsim's data, the SDK headers; no build-tree leftovers.
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
for f in ./usr/bin/vapixcam ./usr/bin/camsim ./usr/lib/vapixcam/Velto.Vapixcam.vdx \
         ./usr/lib/vapixcam/Velto.Vapixcam.rep ./usr/include/orix/gdrv/IModule.h \
         ./usr/share/vapixcam/camsim/models/P7214.params; do
    grep -qxF "$f" "$work/files" || fail "the package lacks $f"
done
grep -q '^./usr/share/vapixcam/camsim/media/h264-.*\.264$' "$work/files" || fail "the package has no clips"
if grep -Eq '\.(stamp|part|o|a)$|CMakeFiles|/tests?/' "$work/files"; then
    grep -E '\.(stamp|part|o|a)$|CMakeFiles|/tests?/' "$work/files" >&2
    fail "the package carries build leftovers"
fi

# Unpack into a private dpkg root (the machine's own package database is
# not touched) and run the programs from there.
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: unpacking with dpkg --root needs root; the file list and fields were checked"
    exit 0
fi
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --log=/dev/null --unpack "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log" >&2; fail "dpkg --unpack failed"; }
cd "$work"
"$root/usr/bin/vapixcam" sim --model P7214 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
trap 'kill -INT $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; cleanup' EXIT
url=""
for _ in $(seq 300); do
    url="$(grep -o 'http://[^ ]*' "$work/sim.out" | head -n1)"
    [ -n "$url" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$url" ] || { cat "$work/sim.out" "$work/sim.err" >&2; fail "the packaged vapixcam sim did not start camsim"; }
"$root/usr/bin/vapixcam" info "$url" --timeout 30 >"$work/info" 2>"$work/info.err" ||
    { cat "$work/info" "$work/info.err" >&2; fail "the packaged vapixcam info failed"; }
grep -q '"product" *: *"P7214"' "$work/info" || { cat "$work/info" >&2; fail "wrong product"; }
echo "package $(basename "$deb"): Depends: $depends"
