#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the repository names its licence in its first lines (after a shebang):
# C++ sources, CMake files and scripts. Lists the files that do not.
set -euo pipefail
cd "$1"
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "not a git checkout: the tracked files cannot be listed"
  exit 77
fi
tag='SPDX-License-Identifier: GPL-3.0-or-later'
missing=()
while IFS= read -r -d '' file; do
  if ! head -n 3 "$file" | grep -qF "$tag"; then
    missing+=("$file")
  fi
done < <(git ls-files -z '*.cpp' '*.h' '*.cmake' '*CMakeLists.txt' '*.sh' '*.py' \
  .ci/run scripts/run scripts/test scripts/package-check)
if ((${#missing[@]} > 0)); then
  echo "no licence line ($tag) in the first lines of:"
  printf '  %s\n' "${missing[@]}"
  exit 1
fi
echo "every source file names its licence"
