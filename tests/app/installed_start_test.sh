#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build folder $1 (source folder $2) into a temporary prefix, checks what was
# installed, and runs the installed programs as a new user would: the window's first start makes
# an empty chart index in the user's data folder, and both companions, without
# --program-folder, find that index; a folder named by the environment or the clinic-wide file
# is never given an index of its own.
set -euo pipefail
build=$1
source=$2
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
  share/man/man1/pelorafile.1.gz share/man/man1/pelorafile-admin.1.gz \
  share/man/man1/pelorafile-save.1.gz \
  share/applications/pelorafile.desktop share/icons/hicolor/scalable/apps/pelorafile.svg \
  share/metainfo/jp.tovani.pelorafile.metainfo.xml \
  share/doc/pelorafile/copyright share/doc/pelorafile/changelog.gz \
  share/pelorafile/manual/index.html; do
  [[ -e $work/usr/$file ]] || fail "not installed: $file"
done
# A program started from the build folder finds the manual beside itself.
[[ -f $build/bin/manual/index.html ]] || fail "no manual in $build/bin/manual"
grep -qx 'Exec=pelorafile' "$work/usr/share/applications/pelorafile.desktop" || fail "desktop Exec"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/usr/share/applications/pelorafile.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic \
    "$work/usr/share/metainfo/jp.tovani.pelorafile.metainfo.xml" >"$work/appstream.log" || {
    cat "$work/appstream.log" >&2
    fail "appstreamcli validate"
  }
fi

mkdir -p "$work/home"
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=offscreen
export PELORAFILE_CLINIC_FILE_FOR_TESTS=$work/clinic.conf # absent until a case writes it
unset PELORAFILE_PROGRAM_FOLDER
bin=$work/usr/bin
data=$work/data/pelorafile
settings=$work/config/Tovani/registry.reg

# Starts the installed window in the background; its process id is in $pid.
start_window() {
  "$bin/pelorafile" "$@" >"$work/run.log" 2>&1 &
  pid=$!
}
stop_window() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
}

# A first start of a user: the index in the user's data folder, then the setup dialog, which
# waits (offscreen, nobody answers it) without having written the settings.
start_window
for _ in $(seq 100); do
  [[ -s $data/PeloraFileDB.db ]] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[[ -s $data/PeloraFileDB.db ]] || { cat "$work/run.log" >&2; fail "no chart index in the user's data folder"; }
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "the installed program ended"; }
[[ ! -e $bin/PeloraFileDB.db ]] || fail "the index was written beside the program"
[[ ! -e $settings ]] || fail "settings written before the setup dialog was answered"
stop_window

# The companions, without --program-folder, use the index the window made.
mkdir -p "$(dirname "$settings")" "$work/scan" "$work/charts"
sed -e "s|@SCANNER@|$work/scan|" -e "s|@ARCHIVE@|$work/charts|" \
  "$source/tests/app/fixtures/registry.reg.in" >"$settings"
cp "$source/docs/screenshots/main-window.png" "$work/scan/1.png"
chart=$("$bin/pelorafile-save" --patient 42 --key1 installed) || fail "pelorafile-save exits with $?"
[[ $chart == "$work/charts/"*.pdf && -s $chart ]] || fail "pelorafile-save printed \"$chart\""
found=$("$bin/pelorafile-admin" search --key1 installed) || fail "pelorafile-admin search exits with $?"
[[ $found == *"$chart"* ]] || fail "the saved row is not in the window's index: $found"
"$bin/pelorafile-admin" verify >"$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "verify"; }

# A folder named by the environment that is missing (an unmounted share) stays missing: the
# companion refuses, the window shows its database failure window rather than a new index.
export PELORAFILE_PROGRAM_FOLDER=$work/unmounted
status=0
"$bin/pelorafile-save" --patient 42 2>"$work/save.log" || status=$?
((status == 10)) || { cat "$work/save.log" >&2; fail "pelorafile-save on a missing folder exits with $status"; }
start_window
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$work/run.log" >&2; fail "no failure window for a missing folder"; }
stop_window
[[ ! -e $work/unmounted ]] || fail "a folder named by the environment was made"
unset PELORAFILE_PROGRAM_FOLDER

# The clinic-wide file comes before the user's data folder; create-index makes its folder.
echo "program-folder=$work/clinic/pelorafile" >"$work/clinic.conf"
start_window
sleep 2
stop_window
[[ ! -e $work/clinic ]] || fail "a folder named by the clinic-wide file was made at a start"
"$bin/pelorafile-admin" create-index "$work/clinic/pelorafile" >/dev/null || fail "create-index"
cp "$source/docs/screenshots/main-window.png" "$work/scan/1.png"
chart=$("$bin/pelorafile-save" --patient 43 --key1 clinic) || fail "save into the clinic's index"
found=$("$bin/pelorafile-admin" --program-folder "$work/clinic/pelorafile" search --key1 clinic) ||
  fail "the row is not in the clinic's index"
status=0
"$bin/pelorafile-admin" --program-folder "$data" search --key1 clinic >/dev/null 2>&1 || status=$?
((status == 1)) || fail "the clinic's row went into the user's own index too"

# A clinic-wide file that cannot be used stops both companions, naming the file.
echo "program_folder=$work/clinic" >"$work/clinic.conf"
status=0
"$bin/pelorafile-save" --patient 44 2>"$work/save.log" || status=$?
((status == 10)) && grep -q "clinic.conf, line 1: unknown key" "$work/save.log" ||
  { cat "$work/save.log" >&2; fail "pelorafile-save on a broken clinic-wide file exits with $status"; }
status=0
"$bin/pelorafile-admin" verify 2>"$work/admin.log" || status=$?
((status == 2)) || { cat "$work/admin.log" >&2; fail "pelorafile-admin on a broken clinic-wide file exits with $status"; }
echo "the installed programs found their program folders"
