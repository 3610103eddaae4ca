#!/usr/bin/env bash
# Times decoding and encoding against cp of the same file, checks every output byte for byte, and
# prints one table: median wall time, MiB/s, the median of the per-pair ratios to cp, and peak RSS.
#
#   bench/run_benchmark.sh [-b BUILD_DIR] [-r RUNS] [-s "SIZES_MIB"] [-p PO_TABLE_MIB] [-w WEB_BUILD_DIR] [--huge]
#
# Each run pairs one conversion with one cp of the same input, back to back, in alternating order,
# on page-cache-hot files, each after a sync; only the ratio within a pair is trusted. --huge also decodes a 4.5 GiB
# table and encodes its dump back (it needs about 14 GiB of free space). -p sets the size of the
# tables whose PO is imported at two sizes, to show time and memory against the PO's size. -w names
# the web build, whose WebAssembly converter is then timed under node beside the native program.
set -euo pipefail

build=build/release
runs=30
sizes="256 1024"
huge=0
po_mib=48
web=""
while [ $# -gt 0 ]; do
  case "$1" in
    -b) build=$2; shift 2 ;;
    -r) runs=$2; shift 2 ;;
    -s) sizes=$2; shift 2 ;;
    -p) po_mib=$2; shift 2 ;;
    -w) web=$(realpath "$2"); shift 2 ;;
    --huge) huge=1; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

program=$(realpath "$build/vorlanth_lang")
checker=$(realpath "$build/vorlanth_check")
po_bridge=$(realpath "$build/vorlanth_po" 2>/dev/null || true)
maker=$(realpath "$build/make_table")
web_core=$(realpath "$(dirname "$0")/WebCore.js")
work=$(mktemp -d "${TMPDIR:-/tmp}/vorlanth-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds

# Runs "$@" quietly and prints its wall time in microseconds.
timed() {
  local start end
  start=$(now)
  "$@" >/dev/null
  end=$(now)
  echo $((end - start))
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

peak_rss_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }

# Instructions per input unit, from callgrind, which counts the same on every run.
per_unit() {
  local units=$1; shift
  valgrind --tool=callgrind --toggle-collect=main --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
    awk -v units="$units" '/Collected/ { printf "%.2f", $4 / units }'
}

results=()
check() { cmp -s "$1" "$2" || { echo "MISMATCH: $1 differs from $2" >&2; exit 1; }; }

# Measures one direction: $1 label, $2 input, $3 mode, $4 output, $5 expected output, $6 "fresh"
# (the output and cp's copy are removed before each command, as in a first conversion) or
# "replace" (both write over an existing file of the same name).
measure() {
  local label=$1 input=$2 mode=$3 output=$4 expected=$5 how=$6
  local bytes ratios=() convs=() copies=() c t
  bytes=$(stat -c %s "$input")
  cat "$input" >/dev/null
  prepare() { if [ "$how" = fresh ]; then rm -f "$1"; else [ -e "$1" ] || cp "$expected" "$1"; fi; sync; }
  for ((i = 0; i < runs; i++)); do
    # Each command starts with no dirty pages left from the one before, so that neither side
    # pays for the other's writeback.
    if ((i % 2 == 0)); then
      prepare copy.bin; c=$(timed cp "$input" copy.bin); prepare "$output"; t=$(timed "$program" "$mode" "$input")
    else
      prepare "$output"; t=$(timed "$program" "$mode" "$input"); prepare copy.bin; c=$(timed cp "$input" copy.bin)
    fi
    copies+=("$c"); convs+=("$t")
    ratios+=("$(awk -v t="$t" -v c="$c" 'BEGIN { printf "%.4f", t / c }')")
  done
  check "$output" "$expected"
  local wall cpwall ratio rss
  wall=$(printf '%s\n' "${convs[@]}" | median)
  cpwall=$(printf '%s\n' "${copies[@]}" | median)
  ratio=$(printf '%s\n' "${ratios[@]}" | median)
  rss=$(peak_rss_kib "$program" "$mode" "$input")
  results+=("$(awk -v l="$label" -v w="$wall" -v cw="$cpwall" -v b="$bytes" -v r="$ratio" -v m="$rss" \
    'BEGIN { printf "| %-26s | %9.1f | %8.0f | %9.1f | %5.2fx | %8d |", l, w / 1000, b / 1048576 / (w / 1e6), cw / 1000, r, m }')")
}

# Times a command against a reference command run right next to it, in alternating order, and
# appends a row to the array named by $2: paired LABEL ROWS REFERENCE... -- COMMAND...
# $before_reference, when set, runs (untimed) before each run of the reference.
checks=()
pos=()
before_reference=
paired() {
  local label=$1 ratios=() walls=() r t reference=()
  local -n rows=$2
  shift 2
  while [ "$1" != -- ]; do reference+=("$1"); shift; done
  shift
  for ((i = 0; i < runs; i++)); do
    if ((i % 2 == 0)); then
      sync; t=$(timed "$@"); $before_reference; sync; r=$(timed "${reference[@]}")
    else
      $before_reference; sync; r=$(timed "${reference[@]}"); sync; t=$(timed "$@")
    fi
    walls+=("$t")
    ratios+=("$(awk -v t="$t" -v r="$r" 'BEGIN { printf "%.4f", t / r }')")
  done
  local wall ratio rss
  wall=$(printf '%s\n' "${walls[@]}" | median)
  ratio=$(printf '%s\n' "${ratios[@]}" | median)
  rss=$(peak_rss_kib "$@")
  rows+=("$(awk -v l="$label" -v w="$wall" -v r="$ratio" -v m="$rss" \
    'BEGIN { printf "| %-30s | %9.1f | %15.2fx | %8d |", l, w / 1000, r, m }')")
}

for size in $sizes; do
  "$maker" "$size" 1 t.lang t.ref.txt
  cp t.lang t.orig.lang
  for how in fresh replace; do
    measure "decode ${size} MiB $how" t.lang d t.txt t.ref.txt "$how"
  done
  cp t.ref.txt t.txt
  rm -f t.lang
  for how in fresh replace; do
    measure "encode ${size} MiB $how" t.txt e t.lang t.orig.lang "$how"
  done
  # The generated tables reuse ids (far more entries than 65,536 ids), so a full check prints a
  # duplicate-id warning for most entries; --quiet times the reading alone. The decode each check
  # is paired with is a first one (its output removed before it), as in the rows above.
  before_reference="rm -f t.orig.txt"
  paired "check table ${size} MiB" checks "$program" d t.orig.lang -- "$checker" t.orig.lang
  paired "check dump ${size} MiB" checks "$program" d t.orig.lang -- "$checker" t.ref.txt
  paired "check table ${size} MiB quiet" checks "$program" d t.orig.lang -- "$checker" --quiet t.orig.lang
  paired "check dump ${size} MiB quiet" checks "$program" d t.orig.lang -- "$checker" --quiet t.ref.txt
  paired "check dump ${size} MiB against" checks "$program" d t.orig.lang -- \
    "$checker" --quiet --against t.orig.lang t.ref.txt
  rm -f t.lang t.txt t.ref.txt t.orig.lang copy.bin
  # Short UI strings only (3-25 units): the cost of each entry shows.
  "$maker" --short "$size" 2 t.lang t.ref.txt
  cp t.lang t.orig.lang
  measure "decode short ${size} MiB fresh" t.lang d t.txt t.ref.txt fresh
  cp t.ref.txt t.txt
  rm -f t.lang
  measure "encode short ${size} MiB fresh" t.txt e t.lang t.orig.lang fresh
  paired "check short table ${size} MiB quiet" checks "$program" d t.orig.lang -- "$checker" --quiet t.orig.lang
  paired "check short dump ${size} MiB quiet" checks "$program" d t.orig.lang -- "$checker" --quiet t.ref.txt
  paired "check short dump ${size} MiB against" checks "$program" d t.orig.lang -- \
    "$checker" --quiet --against t.orig.lang t.ref.txt
  before_reference=
  rm -f t.lang t.txt t.ref.txt t.orig.lang t.orig.txt copy.bin
done

echo
echo "Runs per figure: $runs (each paired with a cp of the same input, in alternating order)"
echo "| direction, size and output | median ms | MiB/s    | cp ms     | ratio  | peak KiB |"
echo "|----------------------------|-----------|----------|-----------|--------|----------|"
printf '%s\n' "${results[@]}"
echo
echo "The checker, each run paired with a first decode of the same table"
echo "| file and size                  | median ms | ratio to decode | peak KiB |"
echo "|--------------------------------|-----------|-----------------|----------|"
printf '%s\n' "${checks[@]}"

# The PO bridge on a table of every id (65,535 entries, about 10 MB), each run paired with msgfmt
# compiling the same PO.
if [ -x "$po_bridge" ] && command -v msgfmt >/dev/null; then
  "$maker" --full-ids 5 p.lang
  "$maker" --full-ids 6 q.lang
  "$po_bridge" export p.lang q.lang p.po >/dev/null
  paired "export template" pos msgfmt -o /dev/null p.po -- "$po_bridge" export p.lang p.pot
  paired "export pair" pos msgfmt -o /dev/null p.po -- "$po_bridge" export p.lang q.lang p2.po
  paired "import" pos msgfmt -o /dev/null p.po -- "$po_bridge" import p.lang p.po p.out.lang
  "$po_bridge" import p.lang p.pot p.back.lang >/dev/null
  check p.back.lang p.lang
  msgfmt_rss=$(peak_rss_kib msgfmt -o /dev/null p.po)
  echo
  echo "vorlanth_po on 65,535 entries ($(stat -c %s p.lang) bytes; the PO $(stat -c %s p.po) bytes), each run paired with msgfmt -o /dev/null of the PO (peak $msgfmt_rss KiB)"
  echo "| run                            | median ms | ratio to msgfmt | peak KiB |"
  echo "|--------------------------------|-----------|-----------------|----------|"
  printf '%s\n' "${pos[@]}"
  rm -f p.* p2.po q.lang

  # Import at scale: a translated table's PO at two sizes, one twice the other. Time should double
  # with the PO, and peak memory stay near the PO's own size.
  echo
  echo "vorlanth_po import of a paired PO at two sizes, beside msgfmt -o /dev/null of the same PO"
  echo "| PO bytes   | import ms | import peak KiB | peak / PO | msgfmt ms | msgfmt peak KiB |"
  echo "|------------|-----------|-----------------|-----------|-----------|-----------------|"
  for size in "$po_mib" $((po_mib * 2)); do
    "$maker" "$size" 7 big.lang
    "$maker" "$size" 8 bigq.lang
    "$po_bridge" export big.lang bigq.lang big.po 2>/dev/null
    po_bytes=$(stat -c %s big.po)
    sync
    import_ms=$(($(timed "$po_bridge" import big.lang big.po big.out.lang 2>/dev/null) / 1000))
    import_rss=$(peak_rss_kib "$po_bridge" import big.lang big.po big.out.lang)
    msgfmt_ms=$(($(timed msgfmt -o /dev/null big.po) / 1000))
    msgfmt_rss=$(peak_rss_kib msgfmt -o /dev/null big.po)
    printf '| %10d | %9d | %15d | %9s | %9d | %15d |\n' "$po_bytes" "$import_ms" "$import_rss" \
      "$(awk -v r="$import_rss" -v b="$po_bytes" 'BEGIN { printf "%.2f", r * 1024 / b }')" \
      "$msgfmt_ms" "$msgfmt_rss"
    rm -f big.*  bigq.lang
  done
fi

# The page's converter: the same core compiled to WebAssembly (SIMD), run under node as the
# page's worker runs it, beside the native program on the same table (conversion time alone for
# the WebAssembly core; the native program's whole run).
if [ -n "$web" ] && [ -f "$web/vorlanth_web_convert.js" ] && command -v node >/dev/null; then
  echo
  echo "The WebAssembly core under node beside the native program (median of $runs, ms)"
  echo "| table MiB | decode wasm | decode native | ratio | encode wasm | encode native | ratio |"
  echo "|-----------|-------------|---------------|-------|-------------|---------------|-------|"
  for size in $sizes; do
    "$maker" "$size" 5 w.lang w.ref.txt
    dw=(); dn=(); ew=(); en=()
    for _ in $(seq "$runs"); do
      dw+=("$(node "$web_core" "$web/vorlanth_web_convert.js" w.lang w.wasm.txt d)")
      check w.wasm.txt w.ref.txt
      rm -f w.txt; dn+=("$(timed "$program" d w.lang)")
      cp w.ref.txt w2.txt
      ew+=("$(node "$web_core" "$web/vorlanth_web_convert.js" w2.txt w2.wasm.lang e)")
      check w2.wasm.lang w.lang
      rm -f w2.lang; en+=("$(timed "$program" e w2.txt)")
    done
    m() { printf '%s\n' "$@" | median; }
    awk -v s="$size" -v dw="$(m "${dw[@]}")" -v dn="$(m "${dn[@]}")" -v ew="$(m "${ew[@]}")" \
      -v en="$(m "${en[@]}")" 'BEGIN { printf "| %9s | %11.1f | %13.1f | %4.2fx | %11.1f | %13.1f | %4.2fx |\n",
        s, dw / 1000, dn / 1000, dn / dw, ew / 1000, en / 1000, en / ew }'
    rm -f w.* w2.*
  done
  echo "(ratio: native time over wasm time; 1.00x is as fast as the native program)"
fi

if command -v valgrind >/dev/null; then
  for kind in mixed short; do
    if [ "$kind" = short ]; then "$maker" --short 4 3 s.lang s.ref.txt; else "$maker" 4 3 s.lang s.ref.txt; fi
    d=$(per_unit $(($(stat -c %s s.lang) / 2)) "$program" d s.lang)
    check s.txt s.ref.txt
    cp s.lang s.orig.lang; rm s.lang
    e=$(per_unit $(($(stat -c %s s.txt) / 2)) "$program" e s.txt)
    check s.lang s.orig.lang
    drss=$(peak_rss_kib "$program" d s.orig.lang)
    erss=$(peak_rss_kib "$program" e s.txt)
    echo
    echo "Instructions per input unit (callgrind, 4 MiB $kind table): decode $d, encode $e"
    echo "Peak RSS at 4 MiB: decode $drss KiB, encode $erss KiB"
    rm -f s.*
  done
fi

if ((huge)); then
  "$maker" 4608 9 h.lang h.ref.txt
  cp h.lang h.orig.lang
  start=$(now); "$program" d h.lang >/dev/null; mid=$(now)
  check h.txt h.ref.txt
  rm h.lang
  "$program" e h.txt >/dev/null; end=$(now)
  check h.lang h.orig.lang
  echo
  echo "4.5 GiB table ($(stat -c %s h.orig.lang) bytes): decoded in $(((mid - start) / 1000)) ms," \
    "encoded back in $(((end - mid) / 1000)) ms, identical byte for byte"
fi
