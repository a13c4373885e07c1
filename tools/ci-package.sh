#!/usr/bin/env bash
# CI: builds the Debian packages (mendora-cli, mendora, mendora-pdf), validates the desktop
# entry and metainfo, checks that the command line's package needs no graphical library,
# installs them, runs both installed programs from PATH (the command line's PDF output
# too), and removes the packages again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
started=$(date +%s)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 "$@"; }
fail() { echo "ci-package: $*" >&2; exit 1; }

bash "$root/tools/bootstrap.sh" --tests
bash "$root/tools/build.sh"
out="$root/build/package"
rm -rf "$out"
mkdir -p "$out"
(cd "$root/build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; fail "cpack failed"; }
package_file() {
  local found=("$out"/"$1"_*.deb)
  [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one $1_*.deb in $out"
  echo "${found[0]}"
}
deb=$(package_file mendora)
cli_deb=$(package_file mendora-cli)
pdf_deb=$(package_file mendora-pdf)
version=$(dpkg-deb -f "$deb" Version)
for package in "$cli_deb" "$pdf_deb"; do
  [ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "the packages' versions differ"
done
# The dependencies come from the libraries the programs link; the command line's none of a display's.
has_depends() { grep -Eq "(^|, )$2( |,|$)" <<<"$(dpkg-deb -f "$1" Depends)"; }
for package in "$deb" "$cli_deb" "$pdf_deb"; do
  echo "Package: $(basename "$package"), $(du -k "$package" | cut -f1) KiB"
  echo "Depends: $(dpkg-deb -f "$package" Depends)"
done
for library in libqt5core5a libqt5gui5 libqt5widgets5 libqt5webkit5 libuuid1 libc6; do
  has_depends "$deb" "$library" || fail "$library is missing from mendora's Depends"
done
for library in libqt5core5a libqt5network5 libuuid1 libc6; do
  has_depends "$cli_deb" "$library" || fail "$library is missing from mendora-cli's Depends"
done
for library in libqt5gui5 libqt5widgets5 libqt5webkit5 libx11-6 libgl1; do
  ! has_depends "$cli_deb" "$library" || fail "mendora-cli depends on $library, a graphical library"
done
# The PDF writer brings Qt GUI with it, for the command line it serves.
for library in libqt5gui5 mendora-cli; do
  has_depends "$pdf_deb" "$library" || fail "$library is missing from mendora-pdf's Depends"
done

staged="$out/root"
dpkg-deb -x "$deb" "$staged"
dpkg-deb -x "$cli_deb" "$staged"
desktop-file-validate "$staged/usr/share/applications/mendora.desktop"
echo "desktop-file-validate: mendora.desktop is valid"
appstreamcli validate --no-net "$staged/usr/share/metainfo/com.veltrax.Mendora.metainfo.xml"
grep -q "release version=\"$version\"" "$staged/usr/share/metainfo/com.veltrax.Mendora.metainfo.xml" \
  || fail "the metainfo's release is not $version"
for file in usr/bin/mendora usr/bin/mendora-cli usr/share/mendora/Eula.txt usr/share/mendora/MendoraLink.plist \
            usr/share/mendora/help/Mendora_Help.htm usr/share/icons/hicolor/scalable/apps/mendora.svg \
            usr/share/mime/packages/mendora.xml usr/share/man/man1/mendora-cli.1; do
  [ -f "$staged/$file" ] || fail "the package lacks /$file"
done

# From here on the package is installed: it goes again whatever happens.
marker=/var/tmp/MNDRAX
marker_backup=""
remove_package() {
  apt_get remove -y mendora mendora-pdf mendora-cli >/dev/null || true
  if [ -n "$marker_backup" ]; then mv -f "$marker_backup" "$marker"; else rm -f "$marker"; fi
}
if [ -e "$marker" ]; then
  marker_backup="$out/MNDRAX.saved"
  cp -p "$marker" "$marker_backup"
fi
trap remove_package EXIT
apt_get install -y --no-install-recommends "$deb" "$cli_deb" "$pdf_deb" >"$out/apt.log" || { cat "$out/apt.log"; fail "apt-get install failed"; }

cd "$out"
[ "$(command -v mendora-cli)" = /usr/bin/mendora-cli ] || fail "mendora-cli is not /usr/bin/mendora-cli on PATH"
[ "$(mendora-cli --version)" = "mendora-cli $version" ] || fail "mendora-cli --version is not $version"
mendora-cli scan "$root/samples/intact.olm"
mendora-cli scan --json "$root/samples/intact.olm" | python3 -c '
import json, sys
found = json.load(sys.stdin)["counts"]
expected = json.load(open(sys.argv[1]))["expected"]["counts"]
sys.exit(0 if found == expected else "installed scan found %s, expected %s" % (found, expected))
' "$root/samples/intact.json"
man -w mendora-cli >/dev/null || fail "man does not find mendora-cli(1)"
# The PDF writer is a module of its own, found from the installed program.
mkdir "$out/pdf"
mendora-cli save "$root/samples/intact.olm" "$out/pdf" --format pdf >/dev/null 2>"$out/pdf.log" \
  || { cat "$out/pdf.log"; fail "the installed mendora-cli could not save PDF files"; }
[ -n "$(find "$out/pdf" -name '*.pdf' -print -quit)" ] || fail "the installed mendora-cli wrote no PDF file"
if [ -d /usr/share/mime/application ]; then
  [ -f /usr/share/mime/application/x-olm.xml ] || fail "the MIME database did not take application/x-olm"
fi

# The desktop application, offscreen, with the sample scanned at once: it must still be
# running when it is stopped after a few seconds.
printf 'Agree\r\n' >"$marker"
status=0
QT_QPA_PLATFORM=offscreen timeout 5 mendora "$root/samples/intact.olm" --scan >"$out/mendora.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$out/mendora.log"; fail "the installed mendora ended early with status $status"; }
echo "mendora ran offscreen for 5 s"

trap - EXIT
remove_package
[ ! -e /usr/bin/mendora-cli ] && [ ! -e /usr/bin/mendora ] || fail "the programs are still installed"
[ ! -e /usr/lib/mendora ] || fail "/usr/lib/mendora is left after removal"
[ ! -e /usr/share/mendora ] || fail "/usr/share/mendora is left after removal"
echo "ci-package: built, validated, installed, ran and removed $(basename "$deb"), $(basename "$cli_deb") and $(basename "$pdf_deb") in $(( $(date +%s) - started )) s"
