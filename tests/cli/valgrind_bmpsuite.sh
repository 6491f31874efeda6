#!/bin/sh
# valgrind_bmpsuite.sh CLI SUITE: every picture of the public BMP suite (good,
# questionable, bad) through the command-line tool under valgrind's memcheck;
# fails on any memcheck error, and without valgrind or the suite.
cli=$1
suite=$2
command -v valgrind >/dev/null || { echo "valgrind is not installed (./build.sh test installs it)"; exit 1; }
[ -d "$suite/good" ] || { echo "no BMP test suite at $suite"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for file in "$suite"/good/*.bmp "$suite"/questionable/*.bmp "$suite"/bad/*.bmp; do
	echo "$file"
done | xargs -P "$(nproc)" -I{} sh -c '
	name=$(basename "$(dirname "$1")")-$(basename "$1")
	valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
		"$0" "$1" "$2/$name.html" 3 2>"$2/$name.log"
	if [ $? -eq 99 ]; then echo "memcheck errors in $1:"; cat "$2/$name.log"; exit 1; fi
' "$cli" {} "$out"
status=$?
[ $status -eq 0 ] && echo "$(ls "$out"/*.log | wc -l) pictures, no memcheck error"
exit $status
