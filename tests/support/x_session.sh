# Sourced by the tests that drive a program's windows in a real X server:
# a work folder and a clean-up, an X server (Xvfb, with openbox as the
# window manager) unless TILERY_DISPLAY names one already running, and the
# moves a user makes, with xdotool.
work=$(mktemp -d)
mkdir "$work/wm"
pids=""
cleanup() {
	for pid in $pids; do kill "$pid" 2>/dev/null; done
	rm -rf "$work"
}
trap cleanup EXIT
fail() {
	echo "FAIL: $*"
	# For a person to look at: TILERY_X_SHOT=FILE.xwd keeps the screen as it was.
	[ -n "${TILERY_X_SHOT:-}" ] && xwd -root -silent >"$TILERY_X_SHOT"
	exit 1
}
# wait_for SECONDS COMMAND...: until the command succeeds.
wait_for() {
	tries=$(($1 * 10))
	shift
	while ! "$@" >/dev/null 2>&1; do
		tries=$((tries - 1))
		[ $tries -gt 0 ] || return 1
		sleep 0.1
	done
}

if [ -n "${TILERY_DISPLAY:-}" ]; then
	export DISPLAY="$TILERY_DISPLAY"
else
	Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
	pids="$pids $!"
	wait_for 30 test -s "$work/display" || fail "Xvfb did not start"
	export DISPLAY=":$(cat "$work/display")"
	HOME=$work/wm openbox --sm-disable >/dev/null 2>&1 &
	pids="$pids $!"
fi
wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

# step TEXT: how far the test has got, so that one stopped at its time
# limit shows where it was.
step() { echo "- $*"; }
# activate WINDOW: brings the window to the front and waits, 10 s at most,
# until it is; the checks after it tell whether it had to be.
activate() {
	timeout 10 xdotool windowactivate --sync "$1" >/dev/null 2>&1 ||
		echo "gave up after 10 s waiting for window $1 to become active"
}
# ended PID SECONDS: the status of a child that ends within SECONDS; one
# that does not is killed, and the test fails.
ended() {
	if ! wait_for "$2" sh -c "! kill -0 $1"; then
		kill -KILL "$1" 2>/dev/null
		fail "process $1 had not ended after $2 s"
	fi
	wait "$1"
}

# convert_watching_the_caption PROPERTY: presses Enter to convert, and
# checks, as xprop sees every change of the dialog's caption (PROPERTY,
# the one its toolkit sets), that it said how far the conversion had got
# at least twice, and is "tilery" again once the report is up.
convert_watching_the_caption() {
	timeout 120 xprop -spy -id "$main" "$1" >"$work/captions" 2>/dev/null &
	spy=$!
	pids="$pids $spy"
	sleep 0.3
	key Return
	wait_for 60 windows_are 2 || fail "no report after 60 s of converting"
	sleep 0.3
	kill $spy 2>/dev/null
	sed -n 's/^[A-Z_]*([A-Z_0-9]*) = "\(.*\)"$/\1/p' "$work/captions" >"$work/names"
	[ "$(grep -c '^tilery [0-9]*%$' "$work/names")" -ge 2 ] ||
		fail "the caption did not change twice while converting: $(tr '\n' ' ' <"$work/names")"
	[ "$(tail -n 1 "$work/names")" = tilery ] || fail "the caption is not tilery again at the end: $(tail -n 1 "$work/names")"
}

# The windows titled "tilery": the dialog, whose id is $main, and notices.
notices() { xdotool search --onlyvisible --name '^tilery$' 2>/dev/null | grep -vx "$main"; }
windows_are() { [ "$(xdotool search --onlyvisible --name '^tilery$' 2>/dev/null | wc -l)" -eq "$1" ]; }
active_is_not() { [ "$(xdotool getactivewindow 2>/dev/null)" != "$1" ]; }
active_is() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
key() { xdotool key --clearmodifiers --delay 30 "$@"; }
type_text() { xdotool type --clearmodifiers --delay 5 "$1"; }
