#!/bin/sh
# wine_dialog_font_test.sh TILERY_EXE: the Windows dialog in a Wine prefix
# as Wine makes one, without "MS UI Gothic" (Windows installs it with its
# Japanese supplemental fonts alone) and without the stand-in the other
# Wine tests give it: the labels are drawn in a face that has Japanese, not
# as boxes. Drawn as boxes, or not at all, 読込 and 書込 would begin with
# the very same shape; in a Japanese face 読 and 書 differ.
# An X server of its own: another test's windows would take the focus.
set -u
program=$1
for tool in wine wineboot wineserver Xvfb openbox xdotool xprop xwd xwdtopnm python3; do
	command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (./build.sh test installs it)"; exit 1; }
done
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset TILERY_DISPLAY

. "$(dirname "$0")/../support/x_session.sh"
export WINEPREFIX="$work/prefix"
trap 'wineserver -k 2>/dev/null; cleanup' EXIT

step "a Wine prefix as Wine makes it"
timeout 120 wineboot -i >/dev/null 2>&1 || fail "wineboot did not make a prefix"
wine reg query 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' >/dev/null 2>&1 &&
	fail "the prefix has a stand-in for MS UI Gothic"

step "the dialog"
(cd "$work" && exec wine "$program") </dev/null >"$work/tilery.log" 2>&1 &
pids="$pids $!"
wait_for 60 windows_are 1 || fail "the dialog did not appear: $(cat "$work/tilery.log")"
main=$(xdotool search --onlyvisible --name '^tilery$')
sleep 1
xwd -id "$main" -silent | xwdtopnm >"$work/dialog.ppm" 2>/dev/null || fail "no picture of the dialog"

step "its labels"
python3 - "$work/dialog.ppm" <<'EOF' || fail "the labels are not drawn in a Japanese face"
import re
import sys

data = open(sys.argv[1], "rb").read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
width, height = int(header[1]), int(header[2])
pixels = data[header.end():]


def ink(x, y):
    at = 3 * (y * width + x)
    return sum(pixels[at:at + 3]) < 300


# The labels stand from 5 to 35 of the dialog's 170 units across, the
# fields after them; their rows of ink make a band each, top to bottom.
left, right = width * 3 // 170, width * 34 // 170
rows = [y for y in range(height) if any(ink(x, y) for x in range(left, right))]
bands = []
for y in rows:
    if bands and y == bands[-1][-1] + 1:
        bands[-1].append(y)
    else:
        bands.append([y])
if len(bands) < 2:
    sys.exit(f"no two labels of ink at the left: {len(bands)} bands")


def extent(band):
    columns = [x for x in range(left, right) if any(ink(x, y) for y in band)]
    return columns[0], columns[-1] + 1


def shape(band, start, columns):
    """The ink of the band's columns from start on, its empty rows left out."""
    rows = [[ink(x, y) for x in range(start, start + columns)] for y in band]
    while rows and not any(rows[0]):
        rows.pop(0)
    while rows and not any(rows[-1]):
        rows.pop()
    return rows


# A quarter of the shorter label: some of its first character.
(read_at, read_end), (write_at, write_end) = extent(bands[0]), extent(bands[1])
columns = min(read_end - read_at, write_end - write_at) // 4
read, write = shape(bands[0], read_at, columns), shape(bands[1], write_at, columns)
if read == write:
    sys.exit("読込 and 書込 begin with the same shape: boxes, or nothing")
EOF
echo "Wine's own prefix: the dialog's labels drawn in a Japanese face: passed"
