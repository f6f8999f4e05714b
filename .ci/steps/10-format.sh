#!/usr/bin/env bash
# Every C and C++ file is formatted with the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/packages.sh
ensure_packages "${SCRIVLET_FORMAT_PACKAGES[@]}"
git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
