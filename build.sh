#!/bin/sh
# ./build.sh run      build the program, then start the dialog (needs a display)
# ./build.sh test     build, then run every test; ends with "N passed, M failed"
# ./build.sh bench    build, then run the benchmark
# ./build.sh package  build tilery_VERSION_ARCH.deb
# ./build.sh windows  cross-build build-windows/tilery-VERSION-windows-x64.zip
# Debian packages that are missing are installed first (as root, or through sudo).
set -eu
cd "$(dirname "$0")"

# a|b: either will do; the first is installed when neither is there.
RUN_PACKAGES="g++ cmake make pkgconf libspng-dev libgif-dev libjpeg62-turbo-dev libwebp-dev libcli11-dev
	qt6-base-dev qt6-translations-l10n qt6-wayland fonts-noto-cjk|fonts-ipafont-gothic"
TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev valgrind util-linux
	chromium firefox-esr xvfb xdotool xclip openbox x11-utils qt6-gtk-platformtheme
	clang libclang-rt-14-dev dpkg-dev file lintian appstream groff-base
	libjpeg-turbo-progs webp imagemagick python3-pil"
PACKAGE_PACKAGES="dpkg-dev file lintian appstream"
# The Windows programs: mingw-w64, zlib for it, dpkg-dev to unpack Debian's
# libspng, giflib, libjpeg-turbo and libwebp sources, GoogleTest's sources;
# Wine, and the tools that drive and picture its windows, for the tests.
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev googletest libcli11-dev"
WINDOWS_TEST_PACKAGES="wine wine64 xvfb xdotool xclip openbox x11-utils x11-apps netpbm python3
	fonts-noto-cjk|fonts-ipafont-gothic"
BUILD_DIR=build
WINDOWS_DIR=build-windows

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

# source_lines CODENAME: deb-src lines for the archives the machine's own
# apt sources take the release's main packages from (one-line and deb822
# entries alike), so that the sources come from the mirror it is set up with.
source_lines() {
	{
		cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
			awk -v release="$1" '$1 == "deb" {
				options = ""; i = 2
				if ($i ~ /^\[/) { while ($i !~ /\]$/) options = options " " $(i++); options = options " " $(i++) }
				for (c = i + 2; c <= NF; c++) if ($(i + 1) == release && $c == "main") print "deb-src" options " " $i " " release " main"
			}'
		for file in /etc/apt/sources.list.d/*.sources; do
			[ -f "$file" ] || continue
			awk -v release="$1" '
				function flush(   n, u, i, keys) {
					if (types ~ /(^| )deb( |$)/ && suites ~ "(^| )" release "( |$)" && parts ~ /(^| )main( |$)/ && enabled != "no") {
						keys = key ~ /^\// ? " [signed-by=" key "]" : ""
						n = split(uris, u, " ")
						for (i = 1; i <= n; i++) print "deb-src" keys " " u[i] " " release " main"
					}
					types = uris = suites = parts = key = enabled = ""
				}
				/^[ \t]*#/ { next }
				/^[ \t]*$/ { flush(); next }
				/^Types:/ { types = substr($0, 7) }
				/^URIs:/ { uris = substr($0, 6) }
				/^Suites:/ { suites = substr($0, 8) }
				/^Components:/ { parts = substr($0, 12) }
				/^Signed-By:/ { key = $2 }
				/^Enabled:/ { enabled = $2 }
				END { flush() }' "$file"
		done
	} | sort -u
}

# windows_sources: Debian's libspng, giflib, libjpeg-turbo and libwebp
# sources, unpacked into build-windows/sources through a sources list of the
# build's own, made from the machine's.
WINDOWS_SOURCES="libspng giflib libjpeg-turbo libwebp"
windows_sources() {
	dir=$WINDOWS_DIR/sources
	if [ "$(cat "$dir/fetched" 2>/dev/null)" != "$WINDOWS_SOURCES" ]; then
		rm -rf "$dir"
		mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial"
		codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
		source_lines "$codename" >"$dir/apt/sources.list"
		if [ ! -s "$dir/apt/sources.list" ]; then
			echo "no archive for $codename main in the machine's apt sources (/etc/apt/sources.list and sources.list.d)" >&2
			exit 1
		fi
		set -- -o Dir::Etc::SourceList="$PWD/$dir/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
			-o Dir::State::Lists="$PWD/$dir/apt/lists" -o Dir::Cache="$PWD/$dir/apt/cache" \
			-o APT::Sandbox::User="$(id -un)" -q
		apt-get "$@" update >/dev/null
		# shellcheck disable=SC2086
		(cd "$dir" && apt-get "$@" source $WINDOWS_SOURCES >/dev/null 2>&1)
		echo "$WINDOWS_SOURCES" >"$dir/fetched"
	fi
	spng=$(ls -d "$PWD/$dir"/libspng-*/ 2>/dev/null | head -n 1)
	gif=$(ls -d "$PWD/$dir"/giflib-*/ 2>/dev/null | head -n 1)
	jpeg=$(ls -d "$PWD/$dir"/libjpeg-turbo-*/ 2>/dev/null | head -n 1)
	webp=$(ls -d "$PWD/$dir"/libwebp-*/ 2>/dev/null | head -n 1)
	if [ -z "$spng" ] || [ -z "$gif" ] || [ -z "$jpeg" ] || [ -z "$webp" ]; then
		echo "Debian's $WINDOWS_SOURCES sources are not all in $dir; remove it and try again" >&2
		exit 1
	fi
}

# windows_build: the Windows programs and their tests in build-windows/build.
windows_build() {
	windows_sources
	configure "$WINDOWS_DIR/build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DTILERY_SPNG_SOURCE="$spng" -DTILERY_GIF_SOURCE="$gif" -DTILERY_JPEG_SOURCE="$jpeg" \
		-DTILERY_WEBP_SOURCE="$webp" -DTILERY_BUILD_BENCH=OFF \
		-DBUILD_TESTING=ON -DTILERY_LINUX_CLI="$PWD/$BUILD_DIR/bin/tilery-cli"
	cmake --build "$WINDOWS_DIR/build" -j"$(nproc)" "$@"
}

# wine_start: an X server (Xvfb, with openbox) for Wine's windows, a Wine
# prefix of the build's own, where a Japanese font stands in for "MS UI
# Gothic", and a Wine server that stays for every test. wine_stop ends them.
wine_start() {
	rm -f "$WINDOWS_DIR/display"
	Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WINDOWS_DIR/display" 2>/dev/null &
	xvfb=$!
	tries=300
	while [ ! -s "$WINDOWS_DIR/display" ] && [ $tries -gt 0 ]; do sleep 0.1; tries=$((tries - 1)); done
	export DISPLAY=":$(cat "$WINDOWS_DIR/display")" TILERY_DISPLAY=":$(cat "$WINDOWS_DIR/display")"
	mkdir -p "$WINDOWS_DIR/wm"
	HOME="$PWD/$WINDOWS_DIR/wm" openbox --sm-disable >/dev/null 2>&1 &
	openbox=$!
	export WINEPREFIX="$PWD/$WINDOWS_DIR/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
	if [ ! -f "$WINEPREFIX/system.reg" ]; then
		wineboot -i >/dev/null 2>&1
		font="Noto Sans CJK JP"
		dpkg-query -W -f='${Status}\n' fonts-noto-cjk 2>/dev/null | grep -q "install ok installed" || font=IPAGothic
		wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d "$font" /f >/dev/null 2>&1
	fi
	wineserver -k 2>/dev/null || true
	wineserver -p >/dev/null 2>&1
	# Wine's own services and desktop start with the first program and stay
	# with the server: started here, they hold no test's output open.
	wine cmd /c exit </dev/null >/dev/null 2>&1
}

wine_stop() {
	wineserver -k 2>/dev/null || true
	kill "$openbox" "$xvfb" 2>/dev/null || true
}

# test_photos: photographs from cameras for the tests, as Debian packages
# ship them (the demo album of kphotoalbum, and scikit-image's coffee cup
# and cat, CC0), unpacked, not installed, in build-photos.
test_photos() {
	dir=build-photos
	[ -f "$dir/sunset.jpg" ] && [ -f "$dir/coffee.png" ] && return 0
	rm -rf "$dir.download"
	mkdir -p "$dir.download"
	(cd "$dir.download" && apt-get -q -o APT::Sandbox::User="$(id -un)" download kphotoalbum python3-skimage \
		>/dev/null 2>&1 && for deb in ./*.deb; do dpkg-deb -x "$deb" unpacked; done) ||
		echo "the photographs for the tests could not be fetched" >&2
	mkdir -p "$dir"
	cp "$dir.download"/unpacked/usr/share/kphotoalbum/demo/*.jpg \
		"$dir.download"/unpacked/usr/lib/python3/dist-packages/skimage/data/coffee.png \
		"$dir.download"/unpacked/usr/lib/python3/dist-packages/skimage/data/chelsea.png "$dir" 2>/dev/null
	rm -rf "$dir.download"
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
	install_missing $RUN_PACKAGES $TEST_PACKAGES $WINDOWS_PACKAGES $WINDOWS_TEST_PACKAGES
	configure "$BUILD_DIR" -DBUILD_TESTING=ON -DTILERY_BUILD_BENCH=ON
	cmake --build "$BUILD_DIR" -j"$(nproc)"
	test_photos
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
	# The Windows programs under Wine.
	windows_build
	wine_start
	ctest_run "$WINDOWS_DIR/build"
	wine_stop
	echo "$passed passed, $failed failed"
	[ "$failed" -eq 0 ]
	;;
bench)
	install_missing $RUN_PACKAGES libbenchmark-dev libgtest-dev imagemagick libjpeg-turbo-progs
	configure "$BUILD_DIR" -DTILERY_BUILD_BENCH=ON
	cmake --build "$BUILD_DIR" -j"$(nproc)" --target tilery-bench
	test_photos
	"$BUILD_DIR/bin/tilery-bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
	;;
package)
	install_missing $RUN_PACKAGES $PACKAGE_PACKAGES
	configure build-package -DBUILD_TESTING=OFF -DTILERY_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build-package -j"$(nproc)"
	(cd build-package && cpack -G DEB >/dev/null)
	ls build-package/tilery_*.deb
	;;
windows)
	install_missing $WINDOWS_PACKAGES
	windows_build --target tilery tilery-cli
	(cd "$WINDOWS_DIR/build" && cpack -G ZIP -B "$PWD/.." >/dev/null)
	ls "$WINDOWS_DIR"/tilery-*-windows-x64.zip
	;;
*)
	echo "usage: ./build.sh run|test|bench|package|windows" >&2
	exit 2
	;;
esac
