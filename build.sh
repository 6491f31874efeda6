#!/bin/sh
# ./build.sh run    build, then start the dialog (needs a display)
# ./build.sh test   build, then run every test
# ./build.sh bench  build, then run the benchmark
# Debian packages that are missing are installed first (as root, or through sudo).
set -eu
cd "$(dirname "$0")"

# a|b: either will do; the first is installed when neither is there.
PACKAGES="g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
	fonts-noto-cjk|fonts-ipafont-gothic qt6-translations-l10n qt6-wayland qt6-gtk-platformtheme
	valgrind util-linux chromium firefox-esr xvfb xdotool openbox x11-utils"
BUILD_DIR=build

install_missing() {
	missing=""
	for choice in $PACKAGES; do
		found=""
		for package in $(echo "$choice" | tr '|' ' '); do
			dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" &&
				found=yes
		done
		[ -n "$found" ] || missing="$missing ${choice%%|*}"
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
	exec "$BUILD_DIR/bin/tilery"
	;;
test)
	build
	ctest --test-dir "$BUILD_DIR" --output-on-failure
	# The core's tests once more, under AddressSanitizer and UndefinedBehaviorSanitizer.
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILERY_SANITIZE=ON \
		-DTILERY_BUILD_DIALOG=OFF -DTILERY_BUILD_BENCH=OFF >/dev/null
	cmake --build build-sanitize -j"$(nproc)"
	ctest --test-dir build-sanitize --output-on-failure
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
