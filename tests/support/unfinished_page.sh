# For the tests that stop a program in the middle of writing a page.

# noise_picture SIZE FILE: a SIZE x SIZE BMP of random colours, whose page
# is big (225 MB at 3000) and takes a moment to write.
noise_picture() {
	le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
	data=$(($1 * $1 * 3))
	{
		printf BM; le32 $((54 + data)); le32 0; le32 54; le32 40; le32 "$1"; le32 "$1"
		printf '\001\000\030\000'; le32 0; le32 $data; le32 2835; le32 2835; le32 0; le32 0
		head -c $data /dev/urandom
	} >"$2"
}
# watch_for_unfinished_page FOLDER PID [open]: from now on, until a new
# page shows being written in FOLDER, then holds PID still (SIGSTOP) at
# once (see the script); returns when it watches, 10 s at most.
# unfinished_page_held: whether it was seen and PID held, 30 s at most.
watch_for_unfinished_page() {
	rm -f "$work/watching"
	python3 "$(dirname "$0")/../support/hold_unfinished_page.py" "$@" >"$work/watching" &
	watcher=$!
	tries=100
	until [ -s "$work/watching" ]; do
		tries=$((tries - 1))
		[ $tries -gt 0 ] || return 1
		sleep 0.1
	done
}
unfinished_page_held() {
	wait "$watcher"
}
