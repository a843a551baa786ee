#!/bin/sh
# cmake --install into a temporary prefix; the installed programs then run
# from a directory that takes no files and holds nothing of the project; the
# install manifest removes everything again.
# Usage: install_test.sh CMAKE BUILD_DIR VERSION WITH_XVFB EXAMPLES [LV2_BUNDLE]
set -eu
fail() { echo "install_test: $*" >&2; exit 1; }

# On the display with_xvfb.sh provides: the installed windowed program starts
# without a word on standard error, so it found the installed orchestra; told
# of a missing one, it says so.
if [ "$1" = windows ]; then
  bin=$2 err=$3/zelmora.err
  start() {
    "$bin/zelmora" >/dev/null 2>"$err" &
    # xdotool gives up on an X error from a window that goes away while it
    # looks (the toolkit makes and drops some at start-up): ask again.
    found="" tries=0
    while [ -z "$found" ] && [ $tries -lt 20 ]; do
      found=$(timeout 20 xdotool search --sync --onlyvisible --name '^Synth\. Control$' 2>/dev/null |
        head -n 1) || true
      tries=$((tries + 1))
    done
    kill $! && wait $! || true
    [ -n "$found" ] || fail "no control panel"
    # The next start must not find this one's window.
    tries=0
    while xdotool search --onlyvisible --name '^Synth\. Control$' >/dev/null 2>&1 &&
      [ $tries -lt 50 ]; do
      sleep 0.1
      tries=$((tries + 1))
    done
  }
  start
  [ ! -s "$err" ] || fail "at start-up: $(cat "$err")"
  ZELMORA_ORC=/missing.orc start
  grep -qx "Can't find the orchestra /missing.orc that ZELMORA_ORC names" "$err" ||
    fail "no word of a missing orchestra: $(cat "$err")"
  exit 0
fi

cmake=$1 build=$2 version=$3 with_xvfb=$4 examples=$5 bundle=${6:-}
self=$(readlink -f "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-install-XXXXXX")
manifest=$build/install_manifest.txt
# A manifest of a real install stays as it was.
[ -f "$manifest" ] && cp "$manifest" "$work/manifest.kept"
restore() {
  if [ -f "$work/manifest.kept" ]; then cp "$work/manifest.kept" "$manifest"; else rm -f "$manifest"; fi
  chmod -R u+w "$work"
  rm -rf "$work"
}
trap restore EXIT

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
cd "$prefix"
cat >"$work/expected" <<'LIST'
./bin/zelmora
./bin/zelmora-render
./lib/zelmora/zelmora-grains.so
./share/applications/zelmora.desktop
./share/icons/hicolor/192x192/apps/zelmora.png
./share/icons/hicolor/48x48/apps/zelmora.png
./share/man/man1/zelmora-render.1
./share/man/man1/zelmora.1
./share/zelmora/zelmora.orc
LIST
find . -type f ! -path './share/zelmora/examples/*' ! -path './lib/lv2/*' | sort | diff "$work/expected" - >&2 ||
  fail "installed files differ (above)"
diff -r "$examples" share/zelmora/examples >&2 || fail "the presets differ (above)"
if [ -n "$bundle" ]; then
  diff -r "$bundle" lib/lv2/zelmora.lv2 >&2 || fail "the LV2 bundle differs (above)"
else
  [ ! -e lib/lv2 ] || fail "an LV2 bundle installed that was not built"
fi

man --warnings -l share/man/man1/zelmora.1 share/man/man1/zelmora-render.1 >/dev/null \
  2>"$work/man.err"
[ ! -s "$work/man.err" ] || fail "manual pages: $(cat "$work/man.err")"
desktop-file-validate share/applications/zelmora.desktop >"$work/desktop.err" 2>&1 &&
  [ ! -s "$work/desktop.err" ] || fail "$(cat "$work/desktop.err")"

# A user without rights to the working directory (root writes anywhere, so
# root's runs become nobody's).
as_user=""
[ "$(id -u)" -ne 0 ] || as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
chmod 755 "$work"
mkdir -m 555 "$work/readonly"
mkdir -m 777 "$work/out"
mkdir -m 1777 "$work/tmp"
cd "$work/readonly"
! $as_user sh -c ': >x' 2>/dev/null || fail "the working directory takes files"
run() { env -u ZELMORA_ORC HOME="$work/readonly" TMPDIR="$work/tmp" $as_user "$@"; }

[ "$(run "$prefix/bin/zelmora-render" --version)" = "zelmora-render $version" ] ||
  fail "--version: $(run "$prefix/bin/zelmora-render" --version)"
status=0
run env -u DISPLAY "$prefix/bin/zelmora" >"$work/out/said" 2>"$work/out/err" || status=$?
[ "$status $(cat "$work/out/said")" = "255 $prefix/bin/zelmora: can't open display, exiting..." ] &&
  [ ! -s "$work/out/err" ] || fail "without a display: $status $(cat "$work/out/said" "$work/out/err")"
run "$prefix/bin/zelmora-render" --verbose --iterations 40 --sound "$work/out/take.wav" \
  2>"$work/render.err" || fail "zelmora-render --sound: $(cat "$work/render.err")"
# csound names the plugins it loads: the installed one, not the build's.
grep -qxF "  $prefix/lib/zelmora/zelmora-grains.so" "$work/render.err" ||
  fail "csound did not get the installed plugin: $(grep -A1 'command-line libraries' "$work/render.err")"
[ "$(head -c 4 "$work/out/take.wav")" = RIFF ] || fail "take.wav is no WAV file"
run sh "$with_xvfb" sh "$self" windows "$prefix/bin" "$work/out"
[ -z "$(ls -A "$work/tmp")" ] || fail "left in TMPDIR: $(ls -A "$work/tmp")"

xargs rm <"$manifest"
[ -z "$(find "$prefix" -type f)" ] || fail "the manifest left $(find "$prefix" -type f)"
