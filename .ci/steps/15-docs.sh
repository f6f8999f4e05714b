#!/usr/bin/env bash
# The README and the manual in docs/ say what is true: every link and anchor resolves, every test
# they cite exists in the default build's test list, the README stays short, its examples build
# and run as written, and the Quick start's demo runs end to end.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/packages.sh
ensure_packages "${SCRIVLET_DOCS_PACKAGES[@]}"
/usr/bin/python3 scripts/check-docs --build build/default --run-examples
./scripts/demo >/dev/null
