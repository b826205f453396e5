#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages of install/man/ against the programs of the build folder $1 (source folder
# $2): each page names exactly the long options its program's --help lists (and for
# pelorafile-admin exactly its commands), carries the version that --version prints, and
# formats without a warning. The window prints its help with no display at all.
set -euo pipefail
bin=$1/bin
pages=$2/install/man
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

long_options() { grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }

for program in pelorafile pelorafile-save pelorafile-admin; do
  page=$pages/$program.1
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$program" --help) ||
    fail "$program --help exits with $?"
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$program" --version) ||
    fail "$program --version exits with $?"
  [[ $version =~ ^$program\ ([0-9.]+)$ ]] || fail "$program --version prints \"$version\""
  grep -q "^\.TH .* \"PeloraFile ${BASH_REMATCH[1]}\"" "$page" ||
    fail "$page: the .TH line does not name version ${BASH_REMATCH[1]}"

  in_help=$(long_options <<<"$help")
  in_page=$(sed 's/\\-/-/g' "$page" | long_options)
  if [[ $in_help != "$in_page" ]]; then
    fail "$page: options differ from $program --help (< help, > page):"
    diff <(echo "$in_help") <(echo "$in_page") >&2 || true
  fi

  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page: $warnings"
done

# The commands of pelorafile-admin: the indented names after "commands:" in its help, and the
# subsection titles of the page.
help_commands=$("$bin/pelorafile-admin" --help | sed -n '/^commands:/,$p' |
  grep -oE '^  [a-z][a-z-]*' | sed 's/^ *//' | sort)
page_commands=$(grep -E '^\.SS ' "$pages/pelorafile-admin.1" | sed -E 's/^\.SS "?//; s/\\-/-/g' |
  grep -oE '^[a-z][a-z-]*' | sort)
if [[ $help_commands != "$page_commands" ]]; then
  fail "pelorafile-admin.1: commands differ from --help (< help, > page):"
  diff <(echo "$help_commands") <(echo "$page_commands") >&2 || true
fi
exit $failed
