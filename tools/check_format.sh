#!/usr/bin/env bash
# Checks that every C and C++ file of src/ tests/ fuzz/ bench/ web/core/ is as
# clang-format (Debian's, version 14) writes it with the repository's
# .clang-format. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh clang-format
format=$(command -v clang-format-14 || command -v clang-format)
mode=(--dry-run -Werror)
[ "${1:-}" = "--fix" ] && mode=(-i)
git ls-files -z src tests fuzz bench web/core | grep -zE '\.(cpp|h|c)$' | xargs -0 "$format" "${mode[@]}"
