#!/usr/bin/env bash
# Installs the Debian packages Mendora needs, when missing: with no argument what
# building it and running the main job need; with --tests also what the test suite,
# the package check and the screenshots need (servers, independent readers, X tools).
set -euo pipefail
# Building mendora and mendora-cli.
# The PDF format draws Japanese, Chinese and Korean text with WenQuanYi Micro Hei: a TrueType
# font, which the PDF writer embeds so that the text can be searched and copied.
packages=(cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev
          uuid-dev libattr1-dev python3 ccache help2man tzdata
          zlib1g-dev fonts-wqy-microhei)
# The test suite, the package check and the screenshots.
test_packages=(python3-vobject python3-icalendar python3-dateutil xvfb xauth
               dovecot-imapd time openbox xdotool x11-utils imagemagick
               poppler-utils
               man-db dpkg-dev desktop-file-utils appstream shared-mime-info libgmime-3.0-dev
               libkf5calendarcore-dev radicale openssl
               libkf5contacts-dev unzip p7zip-full libarchive-tools)
case "${1:-}" in
  "") ;;
  --tests) packages+=("${test_packages[@]}") ;;
  *) echo "usage: bootstrap.sh [--tests]" >&2; exit 64 ;;
esac
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
