#!/bin/sh
# ./build.sh run      build the program, then start the dialog (needs a display)
# ./build.sh test     build, then run every test; ends with "N passed, M failed"
# ./build.sh bench    build, then run the benchmark
# ./build.sh package  build tilery_VERSION_ARCH.deb
# Debian packages that are missing are installed first (as root, or through sudo).
set -eu
cd "$(dirname "$0")"

# a|b: either will do; the first is installed when neither is there.
RUN_PACKAGES="g++ cmake make pkgconf libspng-dev libgif-dev qt6-base-dev qt6-translations-l10n qt6-wayland
	fonts-noto-cjk|fonts-ipafont-gothic"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev valgrind util-linux
	chromium firefox-esr xvfb xdotool openbox x11-utils qt6-gtk-platformtheme
	clang libclang-rt-14-dev dpkg-dev file lintian appstream groff-base"
PACKAGE_PACKAGES="dpkg-dev file lintian appstream"
BUILD_DIR=build

install_missing() {
	missing=""
	for choice in "$@"; do
		found=""
		for package in $(echo "$choice" | tr '|' ' '); do
			dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" &&
				found=yes
		done
		[ -n "$found" ] || missing="$missing ${choice%%|*}"
	done
	[ -z "$missing" ] && return 0
	sudo=""
	if [ "$(id -u)" -ne 0 ]; then
		if ! command -v sudo >/dev/null; then
			echo "missing Debian packages; as root, run: apt-get install -y --no-install-recommends$missing" >&2
			exit 2
		fi
		sudo=sudo
	fi
	echo "installing:$missing"
	$sudo apt-get update
	$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

# configure DIR OPTIONS...: a release build with debugging information.
configure() {
	dir=$1
	shift
	cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

passed=0
failed=0
# count LOG: adds a ctest run's results to the totals.
count() {
	line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
	if [ -z "$line" ]; then
		failed=$((failed + 1))
		return
	fi
	run_failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
	run_total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
	passed=$((passed + run_total - run_failed))
	failed=$((failed + run_failed))
}

# ctest_run DIR: runs one build's tests and counts them.
ctest_run() {
	log=$1/ctest.log
	ctest --test-dir "$1" --output-on-failure -j"$(nproc)" 2>&1 | tee "$log" || true
	count "$log"
}

case "${1:-}" in
run)
	install_missing $RUN_PACKAGES
	configure "$BUILD_DIR" -DBUILD_TESTING=OFF -DTILERY_BUILD_BENCH=OFF
	cmake --build "$BUILD_DIR" -j"$(nproc)" --target tilery
	exec "$BUILD_DIR/bin/tilery"
	;;
test)
	install_missing $RUN_PACKAGES $TEST_PACKAGES
	configure "$BUILD_DIR" -DBUILD_TESTING=ON -DTILERY_BUILD_BENCH=ON
	cmake --build "$BUILD_DIR" -j"$(nproc)"
	ctest_run "$BUILD_DIR"
	# The core's and the tool's tests once more, under AddressSanitizer and
	# UndefinedBehaviorSanitizer.
	configure build-sanitize -DTILERY_SANITIZE=ON -DTILERY_BUILD_DIALOG=OFF -DTILERY_BUILD_BENCH=OFF
	cmake --build build-sanitize -j"$(nproc)"
	ctest_run build-sanitize
	# A minute of fuzzing from the kept inputs: a crash, a leak or a wrong
	# answer fails the run.
	if fuzz/run.sh 60 >build-fuzz.log 2>&1; then
		passed=$((passed + 1))
		echo "fuzzing for 60 s: $(grep -E '^Done [0-9]+ runs' build-fuzz.log), nothing found"
	else
		failed=$((failed + 1))
		tail -n 40 build-fuzz.log
		echo "fuzzing found a fault: see build-fuzz.log and build-fuzz/findings/"
	fi
	echo "$passed passed, $failed failed"
	[ "$failed" -eq 0 ]
	;;
bench)
	install_missing $RUN_PACKAGES libbenchmark-dev libgtest-dev
	configure "$BUILD_DIR" -DTILERY_BUILD_BENCH=ON
	cmake --build "$BUILD_DIR" -j"$(nproc)" --target tilery-bench
	"$BUILD_DIR/bin/tilery-bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	;;
package)
	install_missing $RUN_PACKAGES $PACKAGE_PACKAGES
	configure build-package -DBUILD_TESTING=OFF -DTILERY_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build-package -j"$(nproc)"
	(cd build-package && cpack -G DEB >/dev/null)
	ls build-package/tilery_*.deb
	;;
*)
	echo "usage: ./build.sh run|test|bench|package" >&2
	exit 2
	;;
esac
