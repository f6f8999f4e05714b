#!/usr/bin/env bash
# Only src/platform/ knows the operating system (scripts/check-platform).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/check-platform
