#!/bin/sh
# wine_dialog_test.sh TILERY_EXE PICTURE SCREENSHOT: the Windows program
# under Wine in a real X server (Xvfb, with openbox as the window manager),
# driven as a user drives it, with xdotool's key presses:
#   a failed conversion whose notice is dismissed, and tried again;
#   Esc, which leaves the dialog open;
#   the picture chooser, which refuses a missing file and takes one there;
#   a second conversion that succeeds, then one with Japanese names;
#   a page path pasted past the limit with Shift+Insert, refused whole;
#   paths in double quotes, as Explorer copies them;
#   a cell size that takes two digits, a third refused;
#   Enter typed during a conversion that fails, which leaves its notice;
#   Alt+X and status 0;
# then, started again, the session's end in the middle of a conversion,
# which leaves the old page and nothing else.
# A picture of the dialog goes to SCREENSHOT. Wine's prefix and server are
# the caller's; so is the X server when TILERY_DISPLAY names one that Wine
# already uses (./build.sh test makes them all).
set -u
program=$1
picture=$2
screenshot=$3
for tool in wine Xvfb openbox xdotool xprop xclip xwd xwdtopnm pnmtopng; do
	command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (./build.sh test installs it)"; exit 1; }
done
export LANG=C.UTF-8 WINEDEBUG=-all

. "$(dirname "$0")/../support/x_session.sh"
. "$(dirname "$0")/../support/unfinished_page.sh"
# The path as a Windows program takes it: Wine's Z: drive is /.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

cp "$picture" "$work/picture.bmp"
mkdir "$work/日本語の絵"
cp "$picture" "$work/日本語の絵/見本.bmp"

start_program() {
	(cd "$work" && exec wine "$program") </dev/null >"$work/tilery.log" 2>&1 &
	tilery=$!
	pids="$pids $tilery"
	wait_for 30 windows_are 1 || fail "the dialog did not appear: $(cat "$work/tilery.log")"
	main=$(xdotool search --onlyvisible --name '^tilery$')
	activate "$main"
	wait_for 5 active_is "$main" || fail "the dialog did not take the focus"
}

# Characters with no key of their own: pasted, as typing them through a
# borrowed key depends on Wine reading the keyboard map in time.
paste_text() {
	printf '%s' "$1" | xclip -quiet -selection clipboard >/dev/null 2>&1 &
	clip=$!
	sleep 0.3
	key "${2:-ctrl+v}"
	sleep 0.5
	kill $clip 2>/dev/null
}
dismiss_notice() {
	activate "$(notices)"
	key "$1"
	wait_for 10 windows_are 1 || fail "$1 does not dismiss the notice"
	activate "$main"
	wait_for 5 active_is "$main" || fail "the dialog did not take the focus back"
}

step "the dialog starts"
start_program
xprop -id "$main" _NET_WM_ICON | grep -q '=' || fail "the window shows no icon"
sleep 0.5
xwd -id "$main" -frame -silent | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot" 2>/dev/null ||
	fail "no picture of the dialog"

# 1. A missing picture: the failure notice, dismissed; the dialog, still
# usable, tries again.
step "a missing picture"
type_text "$(windows_path "$work/missing.bmp")"
key alt+w
type_text "$(windows_path "$work/page.html")"
key Return
wait_for 10 windows_are 2 || fail "no notice for the missing picture"
dismiss_notice Return
[ ! -e "$work/page.html" ] || fail "a page was written for a missing picture"
key Return
wait_for 10 windows_are 2 || fail "no notice for the second try: the dialog refuses to convert again"
dismiss_notice Escape

# 1b. A missing picture with a long path: its notice wraps the path, as
# wide as the screen at most.
step "a long path in a notice"
key alt+r ctrl+a
paste_text "$(windows_path "$work/$(printf 'a%.0s' $(seq 240))/$(printf 'b%.0s' $(seq 200)).bmp")"
key Return
wait_for 10 windows_are 2 || fail "no notice for a missing picture with a long path"
width=$(xdotool getwindowgeometry "$(notices)" | awk '/Geometry/ {split($2, size, "x"); print size[1]}')
[ "${width:-9999}" -le 1280 ] || fail "a notice $width pixels wide, wider than the screen"
dismiss_notice Return

# 2. Esc leaves the dialog open.
step "Esc"
key Escape
sleep 0.5
windows_are 1 && kill -0 "$tilery" 2>/dev/null || fail "Esc closed the dialog"

# 3. The picture chooser: a missing name is refused, an existing file taken.
step "the picture chooser"
key alt+r Tab space
wait_for 10 active_is_not "$main" || fail "the picture chooser did not open"
chooser=$(xdotool getactivewindow)
# Once, on a machine's first start of Wine, the name typed into a chooser
# just shown went astray: it is typed again into the name field (Alt+N),
# three times at most, until the chooser answers.
answered=""
for try in 1 2 3; do
	key alt+n ctrl+a
	type_text "$(windows_path "$work/nothing-here.bmp")"
	key Return
	wait_for 5 active_is_not "$chooser" && answered=yes && break
done
[ -n "$answered" ] || fail "the chooser took a missing picture without a word"
key Return # the chooser's "file does not exist" box
wait_for 10 active_is "$chooser" || fail "the chooser closed on a missing picture"
key ctrl+a
type_text "$(windows_path "$work/picture.bmp")"
key Return
wait_for 10 active_is "$main" || fail "the picture chooser did not close on an existing file"

# 4. Convert the chosen picture: the success report; then Japanese names.
step "conversions, Japanese names"
key alt+o
wait_for 20 windows_are 2 || fail "no report after converting: $(cat "$work/tilery.log")"
grep -q '<TD width=' "$work/page.html" || fail "the chosen picture's page was not written"
dismiss_notice Return
key alt+r
paste_text "$(windows_path "$work/日本語の絵/見本.bmp")"
key alt+w
paste_text "$(windows_path "$work/日本語の絵/ページ.html")"
key Return
wait_for 20 windows_are 2 || fail "no report after converting Japanese names"
cmp -s "$work/page.html" "$work/日本語の絵/ページ.html" || fail "the page with a Japanese name differs or is missing"
dismiss_notice Return

# 4b. Shift+Insert pastes past the limit typing keeps to: a page path of
# 1034 bytes whose first 1023 name an existing page is refused whole, and
# that page is left as it was. A path in double quotes, as Explorer copies
# one, is the path inside.
step "a paste past the limit, quoted paths"
deep="$work"
while [ ${#deep} -lt 700 ]; do
	deep="$deep/$(printf 'f%.0s' $(seq 200))"
	mkdir "$deep"
done
long=$(windows_path "$deep/")
long="$long$(printf 'p%.0s' $(seq $((1023 - ${#long} - 5)))).html"
[ ${#long} -eq 1023 ] || fail "the long path is ${#long} bytes"
echo "old page" >"$deep/${long##*\\}"
key alt+w
paste_text "${long}01234567890" shift+Insert
key Return
wait_for 20 windows_are 2 || fail "no notice for a page path of 1034 bytes"
dismiss_notice Return
[ "$(cat "$deep/${long##*\\}")" = "old page" ] || fail "a page path cut at 1023 bytes replaced another page"
# Ctrl+V of the same is refused whole, and told: the name is too long.
key alt+w ctrl+a BackSpace
paste_text "${long}01234567890"
wait_for 10 windows_are 2 || fail "no notice for a paste past the limit"
dismiss_notice Return
key alt+r
paste_text "\"$(windows_path "$work/picture.bmp")\""
key alt+w
paste_text "\"$(windows_path "$work/quoted.html")\""
key Return
wait_for 20 windows_are 2 || fail "no report after converting quoted paths"
cmp -s "$work/page.html" "$work/quoted.html" || fail "the page for quoted paths differs or is missing"
dismiss_notice Return

# 5. The cell size takes two digits: a third is refused, not cut.
step "the size field"
key alt+s
type_text 123
key Return
wait_for 20 windows_are 2 || fail "no report after converting at cell size 12"
grep -q 'TR{height:12px}' "$work/quoted.html" || fail "the cell size is not 12"
dismiss_notice Return
key alt+s BackSpace BackSpace

# 5b. For a mail, within 20 KB as pasted: the command-line tool's table, at
# most 600 pixels wide, and on the clipboard as HTML (CF_HTML, which Wine
# hands to X as text/html). A photograph wider than that, where the build
# has fetched them.
step "a table for a mail, within a limit"
photo=${TILERY_PHOTO:-}
[ -f "$photo" ] || photo=$work/picture.bmp
key alt+r ctrl+a
type_text "$(windows_path "$photo")"
key alt+w ctrl+a
type_text "$(windows_path "$work/mail.html")"
key alt+m alt+l
type_text 20
key Return
wait_for 30 windows_are 2 || fail "no report after converting for a mail"
wine "$(dirname "$program")/tilery-cli.exe" --fragment --transparent --width 600 --for-editor --max-bytes 20K \
	"$(windows_path "$photo")" "$(windows_path "$work/tool.html")" </dev/null >/dev/null 2>&1
cmp -s "$work/mail.html" "$work/tool.html" || fail "the table for a mail is not the command-line tool's"
timeout 10 xclip -selection clipboard -t text/html -o 2>/dev/null |
	sed -e '1,/<!--StartFragment-->/s/^.*<!--StartFragment-->//' -e '/<!--EndFragment-->/,$s/<!--EndFragment-->.*$//' |
	head -c "$(wc -c <"$work/mail.html")" >"$work/clipboard.html"
cmp -s "$work/clipboard.html" "$work/mail.html" || fail "the clipboard's HTML is not the table"
dismiss_notice Return
key alt+m alt+l ctrl+a BackSpace

# 5c. A conversion that takes seconds: the caption says how far it has got,
# then is "tilery" again.
step "the caption's progress"
noise_picture 3000 "$work/noise.bmp"
key alt+r ctrl+a
type_text "$(windows_path "$work/noise.bmp")"
convert_watching_the_caption WM_NAME
dismiss_notice Return

# 5d. Enter typed while a conversion runs, before its failure notice
# opens, does not answer the notice (Windows holds keys for the window in
# front when they are read). The program is held still while the new page
# is written; meanwhile a folder takes the page's name, so that the page
# cannot be put in place, as on a full disk, and Enter is typed.
step "Enter typed during a conversion that fails"
mkdir "$work/typed"
key alt+w ctrl+a
type_text "$(windows_path "$work/typed/page.html")"
watch_for_unfinished_page "$work/typed" "$tilery" || fail "Python did not start"
key Return
unfinished_page_held || fail "the new page was never seen being written"
mkdir "$work/typed/page.html"
key Return
sleep 0.5
kill -CONT "$tilery"
wait_for 30 windows_are 2 || fail "no failure notice: the Enter typed during the conversion took it away unseen"
sleep 2
windows_are 2 || fail "the Enter typed during the conversion took the failure notice away"
dismiss_notice Return
[ "$(ls -A "$work/typed")" = page.html ] && [ -d "$work/typed/page.html" ] ||
	fail "the failed page left files behind: $(ls -A "$work/typed")"

# 6. Alt+X ends the program with status 0.
step "Alt+X"
key alt+x
wait_for 10 sh -c "! kill -0 $tilery" || fail "Alt+X did not close the program"
ended "$tilery" 1
status=$?
[ $status -eq 0 ] || fail "exit status $status: $(cat "$work/tilery.log")"

# 7. The session ends (log-off, shutdown) in the middle of writing a page.
# The program is held still the moment the new page shows, so that the end
# reaches it before the page is whole.
step "the session's end while a page is written"
mkdir "$work/pages"
echo "old page" >"$work/pages/page.html"
start_program
type_text "$(windows_path "$work/noise.bmp")"
key alt+w
type_text "$(windows_path "$work/pages/page.html")"
watch_for_unfinished_page "$work/pages" "$tilery" || fail "Python did not start"
key Return
unfinished_page_held || fail "the new page was never seen being written"
wineboot --end-session &
ending=$!
sleep 1
kill -CONT "$tilery"
ended "$ending" 30 >/dev/null
wait_for 20 sh -c "! kill -0 $tilery" || fail "the session's end did not close the program"
[ "$(cat "$work/pages/page.html")" = "old page" ] || fail "the session's end took the old page"
[ "$(ls -A "$work/pages")" = page.html ] || fail "the session's end left files beside the page: $(ls -A "$work/pages")"
echo "Wine: failure notices, Esc, the picture chooser, conversions, Japanese names, the size field, Alt+X, the session's end: passed"
