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
