#!/bin/sh
# package_test.sh BUILD_DIR: makes the Debian package from the build and
# checks what it holds, its metadata and lintian's verdict, then runs the
# unpacked command-line tool.
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
	echo "FAIL: $*"
	exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian appstreamcli; do
	command -v $tool >/dev/null || fail "$tool is not installed (./build.sh test installs it)"
done
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/tilery_*_*.deb 2>/dev/null)
[ -n "$deb" ] || fail "no tilery_VERSION_ARCH.deb"
[ "$(basename "$deb")" = "tilery_$(dpkg-deb -f "$deb" Version)_$(dpkg --print-architecture).deb" ] ||
	fail "the package is named $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/tilery /usr/bin/tilery-cli /usr/share/applications/tilery.desktop \
	/usr/share/icons/hicolor/scalable/apps/tilery.svg /usr/share/icons/hicolor/64x64/apps/tilery.png \
	/usr/share/metainfo/org.tilery.tilery.metainfo.xml /usr/share/man/man1/tilery.1.gz \
	/usr/share/man/man1/tilery-cli.1.gz /usr/share/doc/tilery/copyright /usr/share/doc/tilery/changelog.gz; do
	grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
grep -v '^/usr/' "$work/contents" | grep -v '^/$' | grep -q . && fail "files outside /usr: $(grep -v '^/usr/' "$work/contents")"

# Depends are read off the programs: the C++ runtime, Qt's widgets and the
# picture libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libspng0 libgif7 libjpeg62-turbo libwebp7; do
	echo "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done

lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
dpkg-deb -x "$deb" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.tilery.tilery.metainfo.xml" >"$work/as.log" 2>&1 ||
	fail "appstreamcli: $(cat "$work/as.log")"
for page in tilery tilery-cli; do
	zcat "$work/root/usr/share/man/man1/$page.1.gz" | groff -K utf8 -T utf8 -man -ww -z 2>"$work/man.log" || true
	[ ! -s "$work/man.log" ] || fail "the manual page $page.1 has faults: $(cat "$work/man.log")"
done
version=$("$work/root/usr/bin/tilery-cli" --version) || fail "the unpacked tool does not run"
[ "$version" = "tilery-cli $(dpkg-deb -f "$deb" Version)" ] || fail "--version says $version"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, contents, Depends, lintian, AppStream and manual pages checked"
