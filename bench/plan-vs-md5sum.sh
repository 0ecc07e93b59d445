#!/usr/bin/env bash
# Compares planUpdate's hashing with md5sum over the same files: 1,000 files of 64 KiB and one
# of 512 MiB (--quick: a few small ones). Both run alternately on a warm page cache; prints the
# median wall time of each and the ratio plan/md5sum.
# bench_plan is taken from $BENCH_PLAN or the first build*/bench/bench_plan of the checkout.
set -euo pipefail

quick=0
if [[ ${1:-} == --quick ]]; then
    quick=1
fi
rounds=5

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench=${BENCH_PLAN:-}
if [[ -z $bench ]]; then
    for candidate in "$root"/build*/bench/bench_plan; do
        if [[ -x $candidate ]]; then
            bench=$candidate
            break
        fi
    done
fi
if [[ -z $bench || ! -x $bench ]]; then
    echo "bench_plan not found: build the bench_plan target or set BENCH_PLAN" >&2
    exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
data="$work/data"
list="$work/list.txt"
mkdir -p "$data/small"

if ((quick)); then
    small_count=20 small_size=4096 big_size=$((1 << 20))
else
    small_count=1000 small_size=65536 big_size=$((512 << 20))
fi
head -c $((small_count * small_size)) /dev/urandom | split -b "$small_size" -a 4 -d - "$data/small/f"
head -c "$big_size" /dev/urandom >"$data/big.bin"

mapfile -t files < <(cd "$data" && find . -type f | sort)
"$bench" --write-list "$data" "$list"

now() { date +%s%N; }
# Wall time of one run in milliseconds (with three decimals).
time_md5sum() {
    local start end
    start=$(now)
    (cd "$data" && md5sum -- "${files[@]}" >/dev/null)
    end=$(now)
    echo "$(((end - start) / 1000))"
}
time_plan() {
    local start end
    start=$(now)
    "$bench" "$data" "$list" >/dev/null
    end=$(now)
    echo "$(((end - start) / 1000))"
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

# Warm-up: fills the page cache for both (caches cannot be dropped without root rights here).
time_md5sum >/dev/null
time_plan >/dev/null

md5sum_us=()
plan_us=()
for ((round = 1; round <= rounds; ++round)); do
    md5sum_us+=("$(time_md5sum)")
    plan_us+=("$(time_plan)")
done

m=$(median "${md5sum_us[@]}")
p=$(median "${plan_us[@]}")
total=$((small_count * small_size + big_size))
echo "files: ${#files[@]}, bytes: $total, rounds: $rounds"
echo "md5sum runs (us): ${md5sum_us[*]}"
echo "bench_plan runs (us): ${plan_us[*]}"
awk -v m="$m" -v p="$p" 'BEGIN {
    printf "median md5sum: %.1f ms\nmedian bench_plan: %.1f ms\nratio plan/md5sum: %.3f\n",
        m / 1000, p / 1000, p / m
}'
