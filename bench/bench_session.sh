# Sourced by the bench scripts. A script run alone starts its own Wine session; under
# bench/run_all.sh (BENCH_SESSION set) it uses the one session of the whole run.
#   bench_session_begin BUILD_DIR NAME      bench_result FIGURE VALUE UNIT PEER PEER_VALUE lower|higher RUNS
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/wine_session.sh"

bench_session_begin() {
  [ -n "${BENCH_SESSION:-}" ] && return 0
  wine_session_start "$1" "$2"
  trap wine_session_stop EXIT
}

# The machine-readable line run_all.sh collects, as the bench programs print it.
bench_result() { printf 'RESULT\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@"; }

# The median of numbers given one per line.
bench_median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
