#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its seed corpus in
# fuzz/corpus/<target>/. New inputs go to a scratch corpus, not into the repository.
# FUZZ_SECONDS sets the time per target (default 45).
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/packages.sh
ensure_packages "${SCRIVLET_BUILD_PACKAGES[@]}" "${SCRIVLET_FUZZ_PACKAGES[@]}"
if ! command -v clang++ >/dev/null; then
  ln -sf "$(command -v clang++-14)" /usr/local/bin/clang++
fi

seconds="${FUZZ_SECONDS:-45}"
cmake --preset fuzz
cmake --build --preset fuzz

work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
mkdir -p build/fuzz/artifacts
for target in reader; do
  echo "---- fuzz ${target}: ${seconds} s"
  mkdir -p "${work}/${target}"
  start=$(date +%s)
  build/fuzz/fuzz/scrivlet_fuzz_${target} -max_total_time="${seconds}" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/artifacts/${target}- -max_len=1024 \
    "${work}/${target}" "fuzz/corpus/${target}" 2> "${work}/${target}.log" || {
      tail -n 60 "${work}/${target}.log"
      exit 1
    }
  grep -E '^stat::(number_of_executed_units|new_units_added)|cov:' "${work}/${target}.log" | tail -n 3
  echo "---- fuzz ${target}: done in $(( $(date +%s) - start )) s"
done
