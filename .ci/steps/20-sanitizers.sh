#!/usr/bin/env bash
# The whole suite under AddressSanitizer with UndefinedBehaviorSanitizer, and under
# ThreadSanitizer.
set -euo pipefail
cmake --workflow --preset asan
cmake --workflow --preset tsan
