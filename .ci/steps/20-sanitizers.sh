#!/usr/bin/env bash
# The whole suite under AddressSanitizer with UndefinedBehaviorSanitizer, and under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_TEST_PACKAGES[@]}"
cmake --workflow --preset asan
cmake --workflow --preset tsan
