#!/usr/bin/env bash
# Builds Vantrel and runs every test: the unit tests, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and each fuzz target for 30 seconds. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh

ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev \
  libgtest-dev libgmock-dev googletest libbenchmark-dev

passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Adds the counts of a ctest run to the totals; fails when it ran no test or any failed.
run_ctest() {
  local status=0
  ctest --preset "$1" -j "$(nproc)" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "ctest preset $1 ran no test"
    exit 1
  fi
  local total failures
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  failures=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - failures))
  failed=$((failed + failures))
  return "$status"
}

status=0
for preset in default sanitize; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  run_ctest "$preset" || status=1
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in definition_reader registry_file; do
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/"$target"/* "$corpus"/
  echo "Fuzzing $target for 30 seconds"
  if build/fuzz/tests/fuzz/"$target"_fuzz -max_total_time=30 -max_len=4096 -print_final_stats=0 \
      -artifact_prefix=build/fuzz/"$target"- "$corpus" >"$log" 2>&1; then
    tail -n 2 "$log"
    passed=$((passed + 1))
  else
    cat "$log"
    failed=$((failed + 1))
    status=1
  fi
  rm -rf "$corpus"
done

echo
echo "Vantrel tests: $passed passed, $failed failed"
exit "$status"
