# For the tests that stop a program in the middle of writing a page.

# noise_picture SIZE FILE: a SIZE x SIZE BMP of random colours, whose page
# takes long enough to write that a program can be stopped in the middle.
noise_picture() {
	le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
	data=$(($1 * $1 * 3))
	{
		printf BM; le32 $((54 + data)); le32 0; le32 54; le32 40; le32 "$1"; le32 "$1"
		printf '\001\000\030\000'; le32 0; le32 $data; le32 2835; le32 2835; le32 0; le32 0
		head -c $data /dev/urandom
	} >"$2"
}
# wait_for_unfinished_page FOLDER [PID]: until a new page shows being
# written there, as a file of no name that process PID holds open (Linux),
# or as a hidden .tilery-XXXXXX that has bytes in it (Windows: caught the
# moment it is made, before it is marked for deleting, a forced end would
# leave it); fails when none does.
wait_for_unfinished_page() {
	tries=5000
	if [ -n "${2:-}" ]; then
		until ls -l "/proc/$2/fd" 2>/dev/null | grep -qF -- "-> $1/#"; do
			tries=$((tries - 1))
			[ $tries -gt 0 ] || return 1
		done
		return 0
	fi
	until [ -n "$(find "$1" -name '.tilery-*' -size +0)" ]; do
		tries=$((tries - 1))
		[ $tries -gt 0 ] || return 1
	done
}
