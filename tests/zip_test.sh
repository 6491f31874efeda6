#!/bin/sh
# zip_test.sh BUILD_DIR VERSION: makes the Windows zip from the build and
# checks what it holds: both programs, with their icon, version and
# manifest, linked against no DLL that Windows does not have; a README.txt
# with CR LF line ends; the licences of what is built in. Then runs the
# unpacked tool under Wine.
set -u
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
	echo "FAIL: $*"
	exit 1
}
(cd "$build" && cpack -G ZIP -B "$work" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
zip="$work/tilery-$version-windows-x64.zip"
[ -f "$zip" ] || fail "no tilery-$version-windows-x64.zip: $(ls "$work")"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "the zip cannot be unpacked"
top="$work/unpacked/tilery-$version-windows-x64"
for file in tilery.exe tilery-cli.exe README.txt licences/libspng.txt licences/giflib.txt licences/zlib.txt \
	licences/libjpeg-turbo.txt licences/libjpeg-turbo-ijg.txt licences/libwebp.txt licences/libwebp-patents.txt \
	licences/mingw-w64-runtime.txt licences/gcc-runtime.txt; do
	[ -s "$top/$file" ] || fail "the zip lacks $file"
done
[ "$(grep -c . "$top/README.txt")" -gt 5 ] || fail "README.txt is nearly empty"
for text in "$top/README.txt" "$top"/licences/*.txt; do
	[ "$(awk '!/\r$/' "$text" | wc -l)" -eq 0 ] || fail "${text#"$top"/} has lines that do not end in CR LF"
	[ "$(head -c 3 "$text" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "${text#"$top"/} has no UTF-8 signature"
done

for program in tilery.exe tilery-cli.exe; do
	x86_64-w64-mingw32-objdump -p "$top/$program" | awk '/DLL Name:/ {print toupper($3)}' >"$work/dlls"
	grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMDLG32.DLL|COMCTL32.DLL|SHELL32.DLL|ADVAPI32.DLL|MSVCRT.DLL|OLE32.DLL' \
		"$work/dlls" >"$work/foreign" && fail "$program needs DLLs that Windows does not have: $(cat "$work/foreign")"
	strings -el "$top/$program" | grep -qx "$version" || fail "$program has no version resource"
	strings -el "$top/$program" | grep -qx "$program" || fail "$program's version does not name it"
	grep -q 'Microsoft.Windows.Common-Controls' "$top/$program" || fail "$program has no manifest"
	grep -q "name=\"tilery\" version=\"$version.0\"" "$top/$program" || fail "$program's manifest is not version $version.0"
	grep -q 'PerMonitorV2' "$top/$program" || fail "$program is not aware of each monitor's DPI"
	grep -q '<longPathAware[^>]*>true<' "$top/$program" || fail "$program does not take paths past 260 characters"
done
[ "$(wine "$top/tilery-cli.exe" --version | tr -d '\r')" = "tilery-cli $version" ] ||
	fail "the unpacked tool does not run"
echo "Windows zip: $(wc -c <"$zip") bytes; programs, README, licences, DLLs: passed"
