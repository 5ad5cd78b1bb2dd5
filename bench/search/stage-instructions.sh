#!/usr/bin/env bash
# Instructions of each stage of the page step per page byte, counted by
# callgrind: exact and repeatable where times on a shared machine are not.
# Each count is one call on a generated ~300 KB Baidu or Bing page (one
# benchmark iteration); "step" is the whole step from the page's UTF-8
# (decode, validity tests, body cut, clean, parse, extract, free).
#
#   bash bench/search/stage-instructions.sh [search_bench] [page...]
#
# Pages: baidu_nowhere bing_nowhere baidu_last_entry bing_last_entry.
# Needs valgrind (scripts/setup --optional installs it).
set -euo pipefail
bench="${1:-build/bench/bench/search/search_bench}"
shift || true
pages=("$@")
if [ ${#pages[@]} -eq 0 ]; then pages=(baidu_nowhere bing_nowhere); fi
command -v valgrind >/dev/null || { echo "stage-instructions: valgrind is not installed" >&2; exit 1; }
[ -x "$bench" ] || { echo "stage-instructions: no benchmark at $bench (build bench/ first)" >&2; exit 1; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# count ROW FUNCTION...: instructions inside the functions during one
# iteration of the benchmark row.
count() {
  local row="$1"; shift
  local toggles=()
  for f in "$@"; do toggles+=("--toggle-collect=$f"); done
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" "${toggles[@]}" \
    "$bench" --benchmark_filter="^${row}\$" --benchmark_min_time=0 >/dev/null 2>"$out/log"
  grep -o 'Collected : [0-9]*' "$out/log" | grep -o '[0-9]*$'
}

printf '%-18s %-8s %12s %9s\n' page stage instructions per_byte
for page in "${pages[@]}"; do
  bytes="$("$bench" --benchmark_filter="^BM_Decode/${page}\$" --benchmark_min_time=0 --benchmark_format=json 2>/dev/null |
    python3 -c 'import json,sys; print(int(json.load(sys.stdin)["benchmarks"][0]["page_bytes"]))')"
  row() { awk -v p="$page" -v s="$1" -v n="$2" -v b="$bytes" 'BEGIN { printf "%-18s %-8s %12d %9.2f\n", p, s, n, n / b }'; }
  row decode "$(count "BM_Stages/$page" '*DecodeStage*')"
  row clean "$(count "BM_Stages/$page" '*CleanStage*')"
  row clean16 "$(count "BM_CleanSse2/$page" '*CleanSse2Stage*')"
  row parse "$(count "BM_Stages/$page" '*ParseStage*' '*FreeStage*')"
  row extract "$(count "BM_Stages/$page" '*ExtractStage*')"
  row step "$(count "BM_PageStep/$page" '*PageStepStage*')"
done
