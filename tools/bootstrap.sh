#!/usr/bin/env bash
# Installs the Debian packages that building and testing Mendora need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev
          uuid-dev libattr1-dev python3 python3-vobject python3-icalendar python3-dateutil xvfb xauth
          tzdata dovecot-imapd time ccache openbox xdotool x11-utils imagemagick
          fonts-wqy-microhei
          help2man man-db dpkg-dev desktop-file-utils appstream shared-mime-info libgmime-3.0-dev
          libkf5calendarcore-dev libkf5imap-dev libkf5crash-dev radicale openssl
          libkf5contacts-dev zlib1g-dev unzip p7zip-full libarchive-tools)
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
