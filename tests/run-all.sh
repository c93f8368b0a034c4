#!/usr/bin/env bash
# The one test command: installs what it needs, builds both targets and runs every tier
# (native unit tests, page tests in Chromium, Windows tests under Wine).
set -uo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh || exit 1
bash tools/build.sh || exit 1
bash tools/check-layers.sh --self-test || exit 1
bash tools/check-layers.sh || exit 1
bash tools/check-mql5-subset.sh --self-test || exit 1
bash tools/check-mql5-subset.sh || exit 1

status=0
echo "== native unit tests (CTest, ASan + UBSan)"
(cd build/native && ctest --output-on-failure -j"$(nproc)") || status=1

mapfile -t node_tests < <(find tests/host tests/page tests/wine tests/e2e -name '*.test.mjs' 2>/dev/null | sort)
if [ ${#node_tests[@]} -gt 0 ]; then
  echo "== page and Wine tests (node --test)"
  node --test --test-concurrency=1 "${node_tests[@]}" || status=1
fi
exit $status
