#!/usr/bin/env bash
# The companion's .mq5 and .mqh files compile both in MetaEditor and natively with g++, so
# they keep to what both languages accept. Prints every line that uses a C++-only
# construct (std::, auto, lambdas, exceptions, range-for, nullptr, C++ casts, ->,
# constexpr, noexcept, decltype, static_assert) or MQL4's "#property strict", and fails on
# any. With --self-test it checks that it catches each of them. (What g++ rejects and MQL5
# accepts, such as array parameters or a literal added to a literal, the native build of
# the .mq5 and .mqh files already refuses.)
set -uo pipefail
cd "$(dirname "$0")/.."

scan() {
  local status=0 file
  for file in "$@"; do
    # Comments and string literals are not code.
    if sed -E -e 's#//.*$##' -e 's#"([^"\\]|\\.)*"#""#g' "$file" | grep -nE \
      -e 'std::' -e '\bauto\b' -e '\[[&=]?[A-Za-z_, &=]*\][[:space:]]*(\(|\{)' \
      -e '\b(try|catch|throw)\b' -e '\bfor[[:space:]]*\([^;]*[^:]:[^:][^;]*\)' \
      -e '\bnullptr\b' -e '\b(static|reinterpret|const|dynamic)_cast\b' -e '->' \
      -e '\b(constexpr|noexcept|decltype|static_assert)\b' -e '^#property[[:space:]]+strict' \
      | sed "s#^#mql5-subset: $file:#"; then
      status=1
    fi
  done
  return $status
}

if [ "${1:-}" = "--self-test" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  cases=('std::string s;' 'auto x = 1;' 'int f = [&](int a) { return a; }(1);' 'try { f(); }'
         'throw 1;' 'for (int v : list) g(v);' 'int* p = nullptr;' 'long v = static_cast<long>(x);'
         'p->x = 1;' 'constexpr int n = 1;' 'void f() noexcept {}' '#property strict')
  for c in "${cases[@]}"; do
    printf '%s\n' "$c" >"$tmp/case.mqh"
    if scan "$tmp/case.mqh" >/dev/null; then echo "mql5-subset self-test: missed: $c"; exit 1; fi
  done
  printf '%s\n' 'for (int i = 0; i < n; i++) { Print("a::b -> auto"); } // std::' \
    'string s = m_recent[i];' >"$tmp/ok.mqh"
  scan "$tmp/ok.mqh" || { echo "mql5-subset self-test: false alarm"; exit 1; }
  exit 0
fi

scan companion/mql5/*.mq5 companion/mql5/*.mqh
