# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/run and scripts/test: installs the Debian packages the project needs when
# they are missing, then configures and builds into build/.
set -euo pipefail

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=${PELORA_BUILD_DIR:-$repo_root/build}

# Build tools, libraries, Qt's Japanese translation (its dialogs and buttons), the Japanese UI
# font, and the outside readers the tests use to check every PDF (qpdf, poppler-utils), plus the
# SANE test backend for the scanner tests. Leptonica measures the skew of scanned pages. PostgreSQL 15 and Qt's driver for it: the index tests
# start a private server of their own (initdb and pg_ctl, run as the user nobody when the tests
# run as root) and run every case on it too. A virtual X server and an input tool: one test
# drives the real program as a separate process with real keys and drags, and kills it.
# lintian, appstreamcli and desktop-file-validate check the Debian package, its AppStream
# metadata and its menu entry.
packages=(
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev qt6-translations-l10n
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev libssl-dev
  libsane1 libsane-dev
  libzxing-dev
  libleptonica-dev
  libgtest-dev libgmock-dev
  fonts-ipafont-gothic fonts-urw-base35
  qpdf poppler-utils
  postgresql-15 libqt6sql6-psql
  libsqlite3-dev libpq-dev
  xvfb xdotool
  lintian appstream desktop-file-utils
)
# What scripts/package-check needs beyond these: a clean Debian root to install the package in.
package_check_packages=(mmdebstrap)

# Installs the packages named as arguments that are missing, by default those of the list above.
install_missing_packages() {
  local wanted=("$@")
  if ((${#wanted[@]} == 0)); then
    wanted=("${packages[@]}")
  fi
  local missing=()
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if ((${#missing[@]} == 0)); then
    return
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

configure_and_build() {
  cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$build_dir" --parallel "$(nproc)"
}
