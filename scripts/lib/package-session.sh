# SPDX-License-Identifier: GPL-3.0-or-later
# The session of scripts/package-check inside the clean Debian 12 root, run as its root user
# with the package as $1: installs it with apt-get alone, then starts and uses the installed
# programs as a new operating-system user, as an operator and a nightly job would. Every step
# is printed with its output.
set -euo pipefail
deb=$1
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
step() { printf '\n--- %s\n' "$*"; }
run() {
  printf '$ %s\n' "$*"
  "$@"
}

step "install the package with apt-get alone"
printf '$ apt-get install -y %s\n' "$deb"
apt-get install -y -qq "$deb" 2>&1 | grep -E '^(Setting up pelorafile|E:)' || true
run dpkg-query -W -f='${Package} ${Version} ${Status}\n' pelorafile
run pelorafile --version
run pelorafile-save --version
run pelorafile-admin --version

step "what the check itself needs: a virtual display and a window lister"
apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils >/dev/null
run useradd --create-home reception

# Runs the rest as the new user, who has no settings, no index and no program folder yet.
cat >/tmp/as-reception.sh <<'RECEPTION'
set -euo pipefail
step() { printf '\n--- %s\n' "$*"; }
run() {
  printf '$ %s\n' "$*"
  "$@"
}
export HOME=/home/reception DISPLAY=:42
cd "$HOME"
Xvfb :42 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# Waits up to 20 s for a top-level window named $1 and prints its line.
wait_for_window() {
  for _ in $(seq 200); do
    if xwininfo -root -tree 2>/dev/null | grep -F "\"$1\""; then return 0; fi
    sleep 0.1
  done
  echo "no window \"$1\"" >&2
  return 1
}

step "first start under Xvfb: the setup dialog, and an empty index in the user's data folder"
pelorafile >/tmp/first-start.log 2>&1 &
program=$!
wait_for_window "初期設定"
run ls -l .local/share/pelorafile/
test ! -e .config/Tovani/registry.reg && echo "no settings file yet: the dialog writes it"
kill $program

step "settings as the setup dialog writes them (scanner folder ~/scan, archive ~/charts)"
mkdir -p .config/Tovani scan charts
sed -e "s|@SCANNER@|$HOME/scan|" -e "s|@ARCHIVE@|$HOME/charts|" /tmp/registry.reg.in \
  >.config/Tovani/registry.reg
cp /tmp/page1.png /tmp/page2.png scan/
run ls scan

step "second start: the main window"
pelorafile >/tmp/second-start.log 2>&1 &
program=$!
wait_for_window "Tovani PeloraFile Basic"
kill $program

step "save a chart with the installed pelorafile-save, without --program-folder"
run pelorafile-save --patient 1234567 --key1 package-check
step "read it back with pelorafile-admin, without --program-folder"
run pelorafile-admin verify
echo "verify: exit $?"
run pelorafile-admin search --key1 package-check
run pelorafile-admin lookup 1234567
RECEPTION
chmod 644 /tmp/as-reception.sh
run su reception -c 'bash /tmp/as-reception.sh'
