#!/usr/bin/env bash
# Builds the Windows plug-in (x86-64 and i686) and runs its tests under Wine
# on a private X server, against the Linux build in the given folder.
# Usage: bash tools/test-windows.sh [LINUX_BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=${1:-build}

bash tools/build-windows.sh all
win=$root/build-windows
out=$win/test-output
rm -rf "$out"
mkdir -p "$out"

echo "== exports and imports"
bash tools/check-dll-imports.sh build-windows/Quelmar.dll x86_64
bash tools/check-dll-imports.sh build-windows-i686/Quelmar.dll i686
bash tools/check-dll-imports.sh build-windows/Quelmar.clap x86_64 clap_entry
bash tools/check-dll-imports.sh build-windows-i686/Quelmar.clap i686 clap_entry

# A private X server on a free display, and a fresh Wine prefix inside the
# build folder. The prefix's X11 driver does not wait for a window manager
# that is not there.
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ]; then WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true; fi
}
trap cleanup EXIT
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
for _ in $(seq 1 100); do
  if read -r -t 0.1 display <&"$display_fd"; then break; fi
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
export WINEPREFIX=$win/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
echo "== creating the Wine prefix (display $DISPLAY)"
timeout 600 wineboot --init >"$out/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$out/wineboot.log" 2>&1
wineserver -w

status=0
run() {  # run <name> <command...>: a test executable that ends with "N passed, N failed"
  local name=$1
  shift
  echo "== $name"
  # A test that hangs (a window waiting for a message that never comes) fails
  # instead of stopping the whole run.
  if timeout 300 "$@" >"$out/$name.log" 2>&1; then :; else status=1; fi
  cat "$out/$name.log"
  tail -n 1 "$out/$name.log" | tr -d '\r' | grep -Eq '^[0-9]+ passed, 0 failed$' || status=1
}

echo "== audio and binary interface: Quelmar.dll against Quelmar.so"
"$root/$linux_build/tests/windows/quelmar_transcript" "$root/$linux_build/Quelmar.so" \
  "$out/linux.txt" "$out/linux.f32" >"$out/linux-transcript.log"
timeout 600 wine "$win/tests/windows/quelmar_transcript.exe" "$win/Quelmar.dll" "$out/windows.txt" "$out/windows.f32" \
  >"$out/windows-transcript.log" 2>&1 || { cat "$out/windows-transcript.log"; status=1; }
samples=$(tr -d '\r' <"$out/linux-transcript.log" | awk '{print $1}')
if cmp -s "$out/linux.f32" "$out/windows.f32" && [ "$(stat -c %s "$out/linux.f32")" -gt 0 ]; then
  echo "audio: $samples samples compared, all bit-identical"
else
  echo "audio: the DLL's output differs from the shared object's ($samples samples)"
  cmp "$out/linux.f32" "$out/windows.f32" | head -1 || true
  status=1
fi
if diff -u "$out/linux.txt" <(tr -d '\r' <"$out/windows.txt") >"$out/transcript.diff"; then
  echo "binary interface: $(wc -l <"$out/linux.txt") transcript lines identical"
else
  echo "binary interface: the transcripts differ"
  head -40 "$out/transcript.diff"
  status=1
fi

echo "== audio: Quelmar.clap on both systems against the VST 2.4 transcript's"
"$root/$linux_build/tests/windows/quelmar_clap_transcript" "$root/$linux_build/Quelmar.clap" "$out/linux-clap.f32" \
  >"$out/linux-clap.log" 2>&1 || { cat "$out/linux-clap.log"; status=1; }
timeout 600 wine "$win/tests/windows/quelmar_clap_transcript.exe" "$win/Quelmar.clap" "$out/windows-clap.f32" \
  >"$out/windows-clap.log" 2>&1 || { cat "$out/windows-clap.log"; status=1; }
for system in linux windows; do
  if cmp -s "$out/linux.f32" "$out/$system-clap.f32"; then
    echo "audio: the $system CLAP build's $samples samples are the VST transcript's, bit for bit"
  else
    echo "audio: the $system CLAP build's output differs from the VST transcript's"
    status=1
  fi
done

# By name: a suite the build lost must fail the run, not vanish from it.
for name in editor_window_tests frame_window_tests; do
  run "$name" wine "$win/tests/windows/$name.exe" "$win/Quelmar.dll" "$out" "$root/$linux_build"
done

run clap_window_tests wine "$win/tests/windows/clap_window_tests.exe" "$win/Quelmar.clap" "$win/Quelmar.dll"

# Systems before Vista do not composite windows: the frame paints through a
# back buffer. The same tests again with the prefix claiming to be such a system.
wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d winxp64 /f >/dev/null 2>&1
mkdir -p "$out/before-vista"
run editor_window_tests_before_vista wine "$win/tests/windows/editor_window_tests.exe" "$win/Quelmar.dll" \
  "$out/before-vista"
wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
grep -q "system version 5\." "$out/editor_window_tests_before_vista.log" || {
  echo "the prefix did not report a system before Vista"
  status=1
}

echo "== the editor under Wine against the Linux rendering of the same state"
# Outside the two read-outs the pixels must be identical. Inside them
# (2 x 28 x 12 pixels) the text comes from different font engines (GDI+ with
# the embedded Liberation Sans, FreeType with the system's font), so there the
# Windows test only requires that text is drawn.
"$root/$linux_build/tools/snapshot/quelmar-snapshot" "$out/editor-linux.png" >/dev/null
convert "$out/editor-wine.bmp" "$out/editor-wine.png"
mask=(-fill black -draw "rectangle 70,100 97,111" -draw "rectangle 220,100 247,111")
convert "$out/editor-linux.png" "${mask[@]}" "$out/linux-masked.png"
# Composited windows are drawn directly and must match exactly. Through the
# back buffer of older systems the images' alpha is blended into a 32-bit
# bitmap first, which may round a colour channel by one level (of 255).
compare_capture() {  # compare_capture <capture> <largest allowed channel error, 16-bit scale>
  convert "$out/$1.bmp" "${mask[@]}" "$out/masked.png"
  local panel peak text
  panel=$(compare -metric AE "$out/linux-masked.png" "$out/masked.png" null: 2>&1 || true)
  peak=$(compare -metric PAE "$out/linux-masked.png" "$out/masked.png" null: 2>&1 | awk '{print int($1)}' || true)
  text=$(compare -metric AE "$out/editor-linux.png" "$out/$1.bmp" null: 2>&1 || true)
  echo "$1: $panel of $((340 * 215 - 2 * 28 * 12)) pixels differ outside the read-outs (largest channel" \
    "difference $((peak / 257)) of 255); $((text - panel)) of 672 differ inside them (text rendering)"
  [ "$peak" -le "$2" ] || status=1
}
compare_capture editor-wine 0
compare_capture before-vista/editor-wine 257

wineserver -w
if [ $status -eq 0 ]; then echo "== Windows tests passed"; else echo "== Windows tests FAILED"; fi
exit $status
