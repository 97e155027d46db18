#!/usr/bin/env bash
# Builds the Debian package in a build folder and checks it: lintian finds no
# errors, the desktop entry and AppStream metadata validate, the unpacked
# package holds every file it should and its velmora-cli runs, the manual
# pages render. Usage: scripts/package.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
cmake --build "$dir" -j "${JOBS:-2}"
rm -f "$dir"/velmora_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/velmora_*.deb)
echo "== $deb"
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}

dpkg-deb -f "$deb" Depends | grep -q "libftdi1-2" || fail "libftdi1-2 is not a dependency"
dpkg-deb -c "$deb" | grep -qi "ftd2xx" && fail "the package holds FTDI's D2XX library"
dpkg-deb -I "$deb" postinst | grep -q "udevadm control --reload-rules" ||
  fail "no post-install step reloads the udev rules"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
lintian --fail-on error "$deb" >"$root.lintian" 2>&1 || fail "lintian reports errors"
grep -v "running with root privileges" "$root.lintian" || true
rm -f "$root.lintian"
dpkg-deb -x "$deb" "$root"
doc=usr/share/doc/velmora
id=com.kelvaro.velmora
expected=(usr/bin/velmora usr/bin/velmora-cli usr/lib/udev/rules.d/60-velmora-pod.rules
  "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/share/man/man1/velmora.1.gz usr/share/man/man1/velmora-cli.1.gz
  usr/share/bash-completion/completions/velmora-cli
  "$doc/copyright" "$doc/changelog.Debian.gz" "$doc/README.md" "$doc/docs/responder.md"
  "$doc/docs/recorder.md" "$doc/examples/demo/demo.out" "$doc/examples/demo/demo.asm"
  "$doc/examples/responder/responder.asm" "$doc/examples/recorder/recorder.asm"
  "$doc/examples/recorder/recorder.h")
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/60-velmora-pod.rules" &&
  grep -q 'GROUP="plugdev"' "$root/usr/lib/udev/rules.d/60-velmora-pod.rules" ||
  fail "the udev rule lacks the uaccess tag or the plugdev group"

desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate"

version=$("$root/usr/bin/velmora-cli" --version) || fail "the packaged velmora-cli does not run"
echo "packaged: $version"
[[ $version == "velmora-cli $(dpkg-deb -f "$deb" Version | cut -d- -f1) (git "* ]] ||
  fail "velmora-cli --version does not match the package version"
"$root/usr/bin/velmora-cli" info "$root/$doc/examples/demo/demo.out" --json >/dev/null ||
  fail "the packaged velmora-cli cannot read the packaged demo"
bash -n "$root/usr/share/bash-completion/completions/velmora-cli" || fail "bash completion"

for page in velmora velmora-cli; do
  text=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>"$root/man.err") ||
    fail "man -l $page"
  [ -s "$root/man.err" ] && fail "man $page warns: $(cat "$root/man.err")"
  grep -q -- "--pod" <<<"$text" || fail "the manual page of $page lacks --pod"
done
grep -q "flash write" <<<"$(man -l "$root/usr/share/man/man1/velmora-cli.1.gz")" ||
  fail "the manual page of velmora-cli lacks its commands"

[ "$failed" = 0 ] && echo "== the package is sound"
exit "$failed"
