#!/bin/sh
# pages_across_systems_test.sh WINDOWS_CLI LINUX_CLI SOURCE_DIR
# tilery-cli.exe under Wine writes the very bytes tilery-cli writes, or
# refuses alike, for every test picture (the examples, the fuzzing seeds and
# kept inputs, the BMP suite), named by path or given on standard input and
# output, in the page's forms for e-mail and to a byte budget, as messages
# and with a text for screen readers; both say
# the same for wrong arguments, /? and -h give the help; a path from the
# root is a path, not an option; a picture in a folder with
# a Japanese name becomes a page with a Japanese name; on a console the
# tool shows its progress and notices a person can read; paths in double
# quotes, as Explorer copies them, are the paths inside; and Ctrl+C or
# taskkill /f in the middle of a page leaves the old page and nothing else.
set -u
windows=$1
linux=$2
source=$3
export LANG=C.UTF-8 WINEDEBUG=-all
. "$(dirname "$0")/../support/unfinished_page.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
	echo "FAIL: $*"
	failed=$((failed + 1))
}
# Wine's Z: drive is /.
win() { echo "Z:$1"; }

compared=0 refused=0 size=0
for picture in "$source"/examples/* "$source"/fuzz/seeds/* "$source"/fuzz/regressions/* \
	"$source"/tests/data/bmpsuite/*/*.bmp; do
	size=$((size % 3 + 1))
	"$linux" "$picture" "$work/linux.html" $size 2>"$work/linux.err"
	expected=$?
	wine "$windows" "$(win "$picture")" "$(win "$work/windows.html")" $size 2>"$work/windows.err"
	status=$?
	name=${picture#"$source"/}
	if [ $status -ne $expected ]; then
		fail "$name: status $status on Windows, $expected on Linux: $(cat "$work/windows.err")"
	elif [ $status -eq 0 ]; then
		cmp -s "$work/linux.html" "$work/windows.html" || fail "$name: the pages differ"
		compared=$((compared + 1))
	else
		refused=$((refused + 1))
	fi
	rm -f "$work/linux.html" "$work/windows.html"
done
[ $compared -gt 80 ] || fail "only $compared pictures converted"
[ $refused -gt 10 ] || fail "only $refused pictures refused"

# Standard input and output are bytes, never text.
for picture in "$source"/examples/sample.bmp "$source"/fuzz/seeds/rgba.png "$source"/fuzz/seeds/plain.ppm; do
	"$linux" "$picture" "$work/linux.html" 2
	wine "$windows" - - 2 <"$picture" >"$work/piped.html" || fail "$picture through pipes: status $?"
	cmp -s "$work/linux.html" "$work/piped.html" || fail "$picture through pipes: the pages differ"
done

# The page's forms for e-mail, transparency laid over a colour or kept.
for picture in "$source"/examples/sample.bmp "$source"/fuzz/seeds/rgba.png "$source"/fuzz/seeds/lossy-alpha.webp \
	"$source"/fuzz/seeds/interlaced.gif; do
	for options in "--fragment" "--no-css" "--transparent --background #102030" "--fragment --transparent" \
		"--max-bytes 3K" "--scale 3 --tolerance 10 --colours 16" "--fragment --max-bytes 2K" "--width 7" \
		"--fragment --transparent --width 5 --max-bytes 1500" "--for-editor --max-bytes 4K" \
		"--for-editor --transparent --width 6 --max-bytes 2500"; do
		# shellcheck disable=SC2086
		"$linux" $options "$picture" "$work/linux.html" 3 2>/dev/null || fail "$picture $options: status $? on Linux"
		# shellcheck disable=SC2086
		wine "$windows" $options "$(win "$picture")" "$(win "$work/windows.html")" 3 2>/dev/null ||
			fail "$picture $options: status $? on Windows"
		cmp -s "$work/linux.html" "$work/windows.html" || fail "$picture $options: the pages differ"
	done
done

# Messages and the text for screen readers, non-ASCII included; a message's
# date and Message-ID given, so that the whole file can match.
# same_page PICTURE OUTPUT-NAME OPTION...: both write the same bytes.
same_page() {
	picture=$1 output=$2
	shift 2
	"$linux" "$@" "$picture" "$work/linux-$output" 3 2>/dev/null || fail "$picture $*: status $? on Linux"
	wine "$windows" "$@" "$(win "$picture")" "$(win "$work/windows-$output")" 3 2>/dev/null ||
		fail "$picture $*: status $? on Windows"
	cmp -s "$work/linux-$output" "$work/windows-$output" || fail "$picture $* $output: the pages differ"
	rm -f "$work/linux-$output" "$work/windows-$output"
}
export SOURCE_DATE_EPOCH=1765000000
for picture in "$source"/examples/sample.bmp "$source"/fuzz/seeds/rgba.png; do
	same_page "$picture" fragment.html --fragment --alt "猫と「a mat」 & <3"
	same_page "$picture" page.html --no-css --alt "A long text for a screen reader, past one line of the page, and more"
	same_page "$picture" page.eml --transparent
	same_page "$picture" page.html --message --max-bytes 5K --alt 見本 --subject "題名 subject" --from a@example.org
done
unset SOURCE_DATE_EPOCH

# Wrong arguments, --help and --version.
for arguments in "" "a.bmp" "a.bmp b.html 0" "a.bmp b.html 1000" "--bogus a.bmp b.html" "--background red a b" "--width 010x a b" \
	"--help" "--version"; do
	# shellcheck disable=SC2086
	"$linux" $arguments >"$work/linux.out" 2>"$work/linux.err"
	expected=$?
	# shellcheck disable=SC2086
	wine "$windows" $arguments >"$work/windows.out" 2>"$work/windows.err"
	status=$?
	[ $status -eq $expected ] || fail "'$arguments': status $status on Windows, $expected on Linux"
	tr -d '\r' <"$work/windows.out" | cmp -s - "$work/linux.out" || fail "'$arguments': standard output differs"
	tr -d '\r' <"$work/windows.err" | cmp -s - "$work/linux.err" || fail "'$arguments': standard error differs"
done

# /?, /h, /help, -? and -h give the help, as --help does.
"$linux" --help >"$work/linux.out"
for asked in "/?" /h /HELP "-?" -h; do
	wine "$windows" "$asked" >"$work/windows.out" 2>&1 || fail "$asked: status $?"
	tr -d '\r' <"$work/windows.out" | cmp -s - "$work/linux.out" || fail "$asked does not give the help"
done

# A path that starts with a slash is a path, from the current drive's root
# (Z:, which is /), on Windows as on Linux; not an option.
"$linux" "$source/examples/sample.bmp" "$work/linux.html" 4
(cd "$work" && wine "$windows" "$source/examples/sample.bmp" "$work/slash.html" 4) 2>"$work/windows.err" ||
	fail "a path from the root, /...: status $?: $(cat "$work/windows.err")"
cmp -s "$work/linux.html" "$work/slash.html" || fail "a path from the root, /...: the page differs or is missing"

# Japanese names, there and back; a missing one is told in UTF-8.
folder="$work/日本語の絵"
mkdir "$folder"
cp "$source/examples/sample.bmp" "$folder/見本.bmp"
"$linux" "$folder/見本.bmp" "$work/linux.html" 4
wine "$windows" "$(win "$folder/見本.bmp")" "$(win "$folder/ページ.html")" 4 || fail "Japanese names: status $?"
cmp -s "$work/linux.html" "$folder/ページ.html" || fail "Japanese names: the page differs or is missing"
wine "$windows" "$(win "$folder/無い.bmp")" "$(win "$folder/ページ.html")" 2>"$work/windows.err"
[ $? -eq 1 ] || fail "a missing picture with a Japanese name is not status 1"
printf 'tilery: ファイルオープン失敗[%s]\n' "$(win "$folder/無い.bmp")" >"$work/expected.err"
tr -d '\r' <"$work/windows.err" | cmp -s - "$work/expected.err" ||
	fail "the notice for a Japanese name reads: $(cat "$work/windows.err")"

# Paths in double quotes, as Explorer's "Copy as path" gives them.
wine "$windows" "\"$(win "$folder/見本.bmp")\"" "\"$(win "$work/quoted.html")\"" 4 ||
	fail "quoted paths: status $?"
cmp -s "$work/linux.html" "$work/quoted.html" || fail "quoted paths: the page differs or is missing"

# On a console (a terminal, here): progress on one line, and notices in
# Japanese a person can read.
script -qec "wine '$windows' '$(win "$folder/見本.bmp")' NUL" /dev/null </dev/null >"$work/console"
grep -q 'tilery: row 1 of ' "$work/console" || fail "no progress on a console: $(cat "$work/console")"
script -qec "wine '$windows' '$(win "$folder/無い.bmp")' NUL" /dev/null </dev/null >"$work/console"
grep -qF "tilery: ファイルオープン失敗[$(win "$folder/無い.bmp")]" "$work/console" ||
	fail "the notice on a console reads: $(cat "$work/console")"

# Ctrl+C (Wine makes one of SIGINT), or taskkill /f, while the page is
# being written, under a short name and under one as long as names go; the
# picture once from standard input, whose copy must go too.
noise_picture 3000 "$work/noise.bmp"
mkdir "$work/pages"
temporary=$(winepath -u "$(wine cmd /c echo %TEMP% </dev/null | tr -d '\r')")
long=$(printf 'p%.0s' $(seq 245)).html
for name in page.html "$long"; do
	for stop in ctrl+c taskkill ctrl+c-piped; do
		echo "old page" >"$work/pages/$name"
		if [ $stop = ctrl+c-piped ]; then
			wine "$windows" - "$(win "$work/pages/$name")" 1 <"$work/noise.bmp" 2>/dev/null &
		else
			wine "$windows" "$(win "$work/noise.bmp")" "$(win "$work/pages/$name")" 1 </dev/null 2>/dev/null &
		fi
		tool=$!
		# Held still until the watch has begun.
		kill -STOP $tool
		watch_for_unfinished_page "$work/pages" $tool || fail "$stop: Python did not start"
		kill -CONT $tool
		unfinished_page_held || fail "$stop: the new page was never seen being written"
		if [ $stop = taskkill ]; then
			wine taskkill /f /im "$(basename "$windows")" >/dev/null 2>&1
		else
			kill -INT $tool
			kill -CONT $tool
		fi
		tries=300
		while kill -0 $tool 2>/dev/null && [ $tries -gt 0 ]; do
			sleep 0.1
			tries=$((tries - 1))
		done
		[ $tries -gt 0 ] || { kill -KILL $tool; fail "$stop: the tool had not ended after 30 s"; }
		wait $tool
		status=$?
		# STATUS_CONTROL_C_EXIT, 0xC000013A, of which Wine passes on the low byte.
		[ $stop = taskkill ] || [ $status -eq 58 ] || fail "$stop: exit status $status, not STATUS_CONTROL_C_EXIT"
		[ "$(cat "$work/pages/$name")" = "old page" ] || fail "$stop: the old page is gone (${#name}-byte name)"
		# Wine's server deletes the file as it learns of the process's end,
		# a moment after the process is gone.
		tries=50
		while [ "$(ls -A "$work/pages")" != "$name" ] && [ $tries -gt 0 ]; do
			sleep 0.1
			tries=$((tries - 1))
		done
		[ "$(ls -A "$work/pages")" = "$name" ] || fail "$stop: files left beside the page: $(ls -A "$work/pages")"
		[ -z "$(ls "$temporary" | grep '^tilery-stdin-')" ] || fail "$stop: the copy of standard input stays"
		rm -f "$work/pages/$name"
	done
done

[ $failed -eq 0 ] || exit 1
echo "pages across systems: $compared pages the same, $refused pictures refused by both, pipes, arguments, Japanese names, quoted paths, a console, Ctrl+C and taskkill: passed"
