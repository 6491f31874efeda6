#!/bin/sh
# fuzz/run.sh [SECONDS]  builds the fuzz target with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, seeds a corpus from fuzz/seeds,
# fuzz/regressions, examples/ and tests/data/bmpsuite, and fuzzes for SECONDS
# (default 600). Findings land in build-fuzz/findings/; the run fails on one.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-600}
for package in clang libclang-rt-14-dev cmake make; do
	dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" || missing="${missing:-} $package"
done
if [ -n "${missing:-}" ]; then
	sudo=""
	[ "$(id -u)" -eq 0 ] || sudo=sudo
	$sudo apt-get update
	$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILERY_FUZZ=ON \
	-DTILERY_BUILD_DIALOG=OFF -DTILERY_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_picture
mkdir -p build-fuzz/corpus build-fuzz/findings
cp fuzz/seeds/* examples/* build-fuzz/corpus/
for f in fuzz/regressions/*; do [ -f "$f" ] && cp "$f" build-fuzz/corpus/; done
for f in tests/data/bmpsuite/*/*.bmp; do
	cp "$f" "build-fuzz/corpus/$(basename "$(dirname "$f")")-$(basename "$f")"
done
exec build-fuzz/bin/fuzz_picture build-fuzz/corpus -max_total_time="$seconds" -timeout=120 \
	-rss_limit_mb=2048 -artifact_prefix=build-fuzz/findings/ -print_final_stats=1
