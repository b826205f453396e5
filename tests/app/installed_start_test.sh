#!/usr/bin/env bash
# Installs the build folder $1 into a temporary prefix and starts the installed program
# offscreen, as a first start of a user: it must make its program folder with an empty chart
# index in the user's data folder and keep running (a program without an index ends at once).
set -euo pipefail
build=$1
work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/usr" >"$work/install.log" || {
  cat "$work/install.log" >&2
  fail "cmake --install"
}
for file in bin/pelorafile bin/pelorafile-admin bin/pelorafile-save \
  share/applications/pelorafile.desktop share/icons/hicolor/scalable/apps/pelorafile.svg \
  share/pelorafile/manual/index.html; do
  [[ -e $work/usr/$file ]] || fail "not installed: $file"
done
grep -qx 'Exec=pelorafile' "$work/usr/share/applications/pelorafile.desktop" || fail "desktop Exec"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/usr/share/applications/pelorafile.desktop"
fi

mkdir -p "$work/home"
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=offscreen
unset PELORAFILE_PROGRAM_FOLDER
"$work/usr/bin/pelorafile" >"$work/run.log" 2>&1 &
pid=$!
index=$work/data/pelorafile/PeloraFileDB.db
for _ in $(seq 100); do
  [[ -s $index ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[[ -s $index ]] || { cat "$work/run.log" >&2; fail "no chart index in the user's data folder"; }
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "the installed program ended"; }
[[ ! -e $work/usr/bin/PeloraFileDB.db ]] || fail "the index was written beside the program"
echo "the installed program started"
