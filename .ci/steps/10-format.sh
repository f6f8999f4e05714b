#!/usr/bin/env bash
# Every C and C++ file is formatted with the project's .clang-format.
set -euo pipefail
git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
