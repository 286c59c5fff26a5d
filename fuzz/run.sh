#!/bin/sh
# Builds the fuzz targets with clang into build/fuzz and runs each of them
# for a bounded time.
#
#   fuzz/run.sh                  every target, 5 seconds each
#   fuzz/run.sh text screen      only these targets
#   fuzz/run.sh -t 600           a longer run: 10 minutes each
#   FUZZ_SECONDS=3600 fuzz/run.sh screen
#   fuzz/run.sh -n ...           skip the build, run what is built
#
# The targets: one for each fuzz/<target>_fuzz.cc. Each starts from its
# seeds in fuzz/corpus/<target> (read only) and from the inputs earlier runs
# found, kept in build/fuzz/corpus/<target>. A failing input is saved as
# build/fuzz/artifacts/<target>-crash-... (or -timeout-, -leak-, -oom-), the
# fuzzer's output in build/fuzz/logs/<target>.log. Run a target on one
# input to see it again:
#
#   build/fuzz/fuzz/fuzz_screen build/fuzz/artifacts/screen-crash-...
#
# The exit status is 1 when any target failed.
set -e
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-5}
build=yes
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds=$2; shift 2 ;;
    -n) build=no; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
targets=${*:-$(for f in fuzz/*_fuzz.cc; do basename "$f" _fuzz.cc; done)}

out=build/fuzz
if [ "$build" = yes ]; then
  # Warnings are errors when TORVELIN_WERROR=ON is in the environment, as
  # in the presets.
  cmake -S . -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DTORVELIN_FUZZ=ON -DBUILD_TESTING=OFF \
    -DTORVELIN_WERROR="${TORVELIN_WERROR:-OFF}" >/dev/null
  cmake --build "$out" --target fuzz -j2
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=""
for t in $targets; do
  bin=$out/fuzz/fuzz_$t
  if [ ! -x "$bin" ] || [ ! -d "fuzz/corpus/$t" ]; then
    echo "run.sh: no target $t" >&2
    exit 2
  fi
  mkdir -p "$out/corpus/$t" "$out/artifacts" "$out/logs"
  log=$out/logs/$t.log
  echo "== $t: ${seconds}s"
  # -timeout: one input running longer than this counts as a hang.
  if "$bin" -max_total_time="$seconds" -timeout=10 -max_len=4096 \
      -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/artifacts/$t-" \
      "$out/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$log" |
      sed 's/^/   /'
    echo "   corpus: $(ls "$out/corpus/$t" | wc -l) inputs"
  else
    echo "   FAILED; the end of $log:"
    tail -n 40 "$log" | sed 's/^/   /'
    failed="$failed $t"
  fi
done

if [ -n "$failed" ]; then
  echo "failed:$failed"
  exit 1
fi
echo "all targets ran clean"
