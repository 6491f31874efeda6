#!/bin/sh
# ./build.sh run    build, then convert the sample picture
# ./build.sh test   build, then run every test
# ./build.sh bench  build, then run the benchmark
# Debian packages that are missing are installed first (as root, or through sudo).
set -eu
cd "$(dirname "$0")"

PACKAGES="g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev"
BUILD_DIR=build

install_missing() {
	missing=""
	for package in $PACKAGES; do
		dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" ||
			missing="$missing $package"
	done
	[ -z "$missing" ] && return 0
	echo "installing:$missing"
	sudo=""
	[ "$(id -u)" -eq 0 ] || sudo=sudo
	$sudo apt-get update
	$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

build() {
	install_missing
	cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build "$BUILD_DIR" -j"$(nproc)"
}

case "${1:-}" in
run)
	build
	"$BUILD_DIR/bin/tilery-cli" examples/sample.bmp "$BUILD_DIR/sample.html" 8
	echo "wrote $(pwd)/$BUILD_DIR/sample.html"
	;;
test)
	build
	ctest --test-dir "$BUILD_DIR" --output-on-failure
	;;
bench)
	build
	"$BUILD_DIR/bin/tilery-bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	;;
*)
	echo "usage: ./build.sh run|test|bench" >&2
	exit 2
	;;
esac
