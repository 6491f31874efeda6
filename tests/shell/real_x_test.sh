#!/bin/sh
# real_x_test.sh TILERY PICTURE [PLATFORM_THEME]: the real program in a real X server
# (Xvfb, with openbox as the window manager), driven as a user drives it,
# with xdotool's key presses:
#   a failed conversion whose notice is dismissed (Enter, then Esc),
#   both file choosers (a missing picture is not taken, an existing page is
#   replaced without a question), a successful conversion, a table for a
#   mail within a limit (the command-line tool's, and on the clipboard), a
#   long conversion whose caption tells how far it has got, Enter typed
#   during a conversion that fails, which leaves its notice on screen,
#   Alt+X, status 0;
# and HOME, an empty folder, is still empty at the end; then, started again,
# SIGTERM in the middle of a conversion leaves the old page and nothing else.
set -u
program=$1
picture=$2
theme=${3:-}
for tool in Xvfb openbox xdotool xprop xclip; do
	command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (./build.sh test installs it)"; exit 1; }
done

. "$(dirname "$0")/../support/x_session.sh"
. "$(dirname "$0")/../support/unfinished_page.sh"
home=$work/home
mkdir "$home"

cp "$picture" "$work/picture.bmp"
echo "old page" >"$work/old.html"

# start_dialog: the program as a desktop starts it, its dialog in front.
start_dialog() {
	env -i PATH="$PATH" HOME="$home" DISPLAY="$DISPLAY" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/wm" \
		${theme:+QT_QPA_PLATFORMTHEME=$theme} "$program" 2>"$work/tilery.log" &
	tilery=$!
	pids="$pids $tilery"
	wait_for 20 windows_are 1 || fail "the dialog did not appear"
	main=$(xdotool search --onlyvisible --name '^tilery$')
	activate "$main"
	wait_for 5 active_is "$main" || fail "the dialog did not take the focus"
}

step "the dialog starts"
start_dialog
xprop -id "$main" _NET_WM_ICON | grep -q '=' || fail "the window shows no icon"

# 1. A missing picture: the failure notice appears and can be dismissed.
step "a missing picture"
type_text "$work/missing.bmp"
key alt+w
type_text "$work/page.html"
key Return
wait_for 10 windows_are 2 || fail "no notice for the missing picture"
notice=$(notices)
activate "$notice"
key Return
wait_for 10 windows_are 1 || fail "Enter does not dismiss the failure notice"
[ ! -e "$work/page.html" ] || fail "a page was written for a missing picture"
activate "$main"
key Return
wait_for 10 windows_are 2 || fail "no notice for the second try: the dialog refuses to convert again"
activate "$(notices)"
key Escape
wait_for 10 windows_are 1 || fail "Esc does not dismiss the failure notice"

# 2. The picture chooser: a missing name is refused, an existing file taken.
step "the picture chooser"
activate "$main"
key alt+r Tab space
wait_for 10 active_is_not "$main" || fail "the picture chooser did not open"
chooser=$(xdotool getactivewindow)
type_text "$work/nothing-here.bmp"
key Return
wait_for 10 active_is_not "$chooser" || fail "the chooser took a missing picture without a word"
key Return # the chooser's "file not found" box
wait_for 10 active_is "$chooser" || fail "the chooser closed on a missing picture"
key ctrl+a
type_text "$work/picture.bmp"
key Return
wait_for 10 active_is "$main" || fail "the picture chooser did not close on an existing file"

# 3. The page chooser: an existing page is taken without a question.
step "the page chooser"
key alt+w Tab space
wait_for 10 active_is_not "$main" || fail "the page chooser did not open"
type_text "$work/old.html"
key Return
wait_for 10 active_is "$main" || fail "the page chooser asked about replacing the page"

# 4. Convert: the success report, owned by the dialog.
step "a conversion"
key alt+o
wait_for 20 windows_are 2 || fail "no report after converting"
grep -q '<TD width=' "$work/old.html" || fail "the chosen page was not written from the chosen picture"
activate "$(notices)"
key Return
wait_for 10 windows_are 1 || fail "Enter does not dismiss the report"
activate "$main"

# 4b. For a mail, within 20 KB as pasted: the command-line tool's table, at
# most 600 pixels wide, and on the clipboard as HTML. A photograph wider
# than that, where the build has fetched them. Qt
# presses a check box's mnemonic as a click a moment later: the box is
# checked first, so that the click has come before OK.
step "a table for a mail, within a limit"
photo=${TILERY_PHOTO:-}
[ -f "$photo" ] || photo=$work/picture.bmp
key alt+m alt+r ctrl+a
type_text "$photo"
key alt+w ctrl+a
type_text "$work/mail.html"
key alt+l
type_text 20
key Return
wait_for 20 windows_are 2 || fail "no report after converting for a mail"
"$(dirname "$program")/tilery-cli" --fragment --transparent --width 600 --for-editor --max-bytes 20K "$photo" \
	"$work/tool.html" 2>/dev/null
cmp -s "$work/mail.html" "$work/tool.html" || fail "the table for a mail is not the command-line tool's"
timeout 10 xclip -selection clipboard -t text/html -o >"$work/clipboard.html" 2>/dev/null
cmp -s "$work/clipboard.html" "$work/mail.html" || fail "the clipboard's HTML is not the table"
activate "$(notices)"
key Return
wait_for 10 windows_are 1 || fail "Enter does not dismiss the report"
activate "$main"
key alt+m alt+l ctrl+a BackSpace

# 4c. A conversion that takes seconds: the caption says how far it has got,
# then is "tilery" again.
step "the caption's progress"
noise_picture 3000 "$work/noise.bmp"
key alt+r ctrl+a
type_text "$work/noise.bmp"
convert_watching_the_caption _NET_WM_NAME
activate "$(notices)"
key Return
wait_for 10 windows_are 1 || fail "Enter does not dismiss the report"
activate "$main"

# 4d. Enter typed while a conversion runs, before its failure notice
# opens, does not answer the notice. The program is held still while the
# new page is written; meanwhile a folder takes the page's name, so that
# the page cannot be put in place, as on a full disk, and Enter is typed.
step "Enter typed during a conversion that fails"
mkdir "$work/typed"
key alt+w ctrl+a
type_text "$work/typed/page.html"
watch_for_unfinished_page "$work/typed" "$tilery" open || fail "Python did not start"
key Return
unfinished_page_held || fail "the new page was never seen being written"
mkdir "$work/typed/page.html"
[ -n "${NO_TYPE:-}" ] || key Return
sleep 0.5
kill -CONT "$tilery"
wait_for 30 windows_are 2 || fail "no failure notice"
sleep 2
windows_are 2 || fail "the Enter typed during the conversion took the failure notice away unseen"
activate "$(notices)"
key Return
wait_for 10 windows_are 1 || fail "Enter does not dismiss the failure notice"
[ "$(ls -A "$work/typed")" = page.html ] && [ -d "$work/typed/page.html" ] ||
	fail "the failed page left files behind: $(ls -A "$work/typed")"
activate "$main"

step "Alt+X"
key alt+x
wait_for 10 sh -c "! kill -0 $tilery" || fail "Alt+X did not close the program"
ended "$tilery" 1
status=$?
[ $status -eq 0 ] || fail "exit status $status: $(cat "$work/tilery.log")"

left=$(find "$home" -mindepth 1)
[ -z "$left" ] || fail "the program left files in HOME: $left"

# 5. Stopped as a log-out stops it, in the middle of writing a page.
step "SIGTERM while a page is written"
mkdir "$work/pages"
echo "old page" >"$work/pages/page.html"
start_dialog
type_text "$work/noise.bmp"
key alt+w
type_text "$work/pages/page.html"
watch_for_unfinished_page "$work/pages" "$tilery" open || fail "Python did not start"
key Return
unfinished_page_held || fail "the new page was never seen being written"
kill -TERM "$tilery"
kill -CONT "$tilery"
ended "$tilery" 20
[ $? -eq 143 ] || fail "SIGTERM did not end the program"
[ "$(cat "$work/pages/page.html")" = "old page" ] || fail "SIGTERM took the old page"
[ "$(ls -A "$work/pages")" = page.html ] || fail "SIGTERM left files beside the page: $(ls -A "$work/pages")"
echo "real X${theme:+ (platform theme $theme)}: failure notices dismissed, choosers, conversion, Alt+X, SIGTERM: passed"
