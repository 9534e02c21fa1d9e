#!/usr/bin/env bash
# Builds the package from the build folder given, unpacks it into a temporary root and
# checks that the programs run from there (through the links in usr/bin), find their data and
# tell the package's version, and that lintian passes the package and the manual pages, the
# AppStream metadata, the desktop entry, the MIME type, the completion and the dependencies are
# as they should be.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb="$(ls "$work"/out/dravonik-config_*_*.deb)"
[ -f "$deb" ] || fail "no package built"

# Any error or warning fails; informational tags may stay.
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian: $(lintian "$deb" 2>/dev/null)"

root="$work/root"
dpkg-deb -x "$deb" "$root"
version="$(dpkg-deb -f "$deb" Version)"
for program in dravonik-config dravonik-cli dravonik-sim; do
  # Bounded: a GUI that took --version for a file name would open its window and wait.
  told="$(timeout 10 "$root/usr/bin/$program" --version || true)"
  [ "$told" = "$program $version" ] || fail "$program --version: $told (package $version)"
  page="$root/usr/share/man/man1/$program.1.gz"
  [ -f "$page" ] || fail "no manual page for $program"
  report="$(zcat "$page" | groff -ww -man -Tutf8 -z 2>&1)$(man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$report" ] || fail "the manual page of $program: $report"
done
depends="$(dpkg-deb -f "$deb" Depends)"
# Whole names: fonts-liberation2 must not pass for fonts-liberation.
for package in libqt6widgets6 libpugixml1v5 libc6 qt6-qpa-plugins \
  fonts-liberation2 fonts-liberation fonts-dejavu-core; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# The command-line tool, started through its link, finds the definitions beside itself.
devices="$("$root/usr/bin/dravonik-cli" devices)"
[ "$(echo "$devices" | wc -l)" -ge 2 ] || fail "dravonik-cli devices printed: $devices"
# Checked without a pipeline: under pipefail, a reader that stops early fails the writer.
[[ "${devices%%$'\n'*}" == $'0\t'* ]] || fail "unexpected device list: $devices"

# The pictures come with the drawings made of them at twice the pixels, for scaled screens.
for picture in connect_normal group_normal logo; do
  for file in "$picture.bmp" "$picture@2x.png"; do
    [ -f "$root/usr/lib/dravonik-config/images/$file" ] || fail "no images/$file"
  done
done

# The GUI, started through its link with a settings file (as a double-click does), finds its
# definitions and pictures: it runs until stopped and reports nothing.
"$root/usr/bin/dravonik-cli" defaults --device-id 1 --out "$work/unit.zsf"
export XDG_CONFIG_HOME="$work/config"
set +e
timeout 5 "$root/usr/bin/dravonik-config" "$work/unit.zsf" 2>"$work/gui.err"
status=$?
set -e
[ "$status" = 124 ] || fail "the GUI ended by itself (status $status): $(cat "$work/gui.err")"
if [ -n "$(grep -v -e "XDG_RUNTIME_DIR" -e "propagateSizeHints" "$work/gui.err" || true)" ]; then
  fail "the GUI reported: $(cat "$work/gui.err")"
fi

desktop-file-validate "$root/usr/share/applications/dravonik-config.desktop" ||
  fail "desktop entry not valid"
metainfo="$(ls "$root"/usr/share/metainfo/*.metainfo.xml)"
appstreamcli validate --no-net "$metainfo" >"$work/appstream" ||
  fail "metadata not valid: $(cat "$work/appstream")"
grep -q '<launchable type="desktop-id">dravonik-config.desktop<' "$metainfo" ||
  fail "the metadata does not launch the desktop entry"

# The completion offers the commands --help lists at the first word, and the device types of
# the definitions beside the program after --device.
complete_at() {
  bash -c 'source /usr/share/bash-completion/bash_completion && source "$0" &&
    COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && COMP_LINE="$*" && COMP_POINT=${#COMP_LINE} &&
    _dravonik_cli 2>/dev/null; printf "%s\n" "${COMPREPLY[@]}"' \
    "$root/usr/share/bash-completion/completions/dravonik-cli" "$@" | sort
}
commands="$("$root/usr/bin/dravonik-cli" --help | sed -nE 's/^  ([a-z][a-z-]+)( .*)?$/\1/p' | sort -u)"
[ "$(complete_at dravonik-cli "")" = "$commands" ] ||
  fail "the completion offers: $(complete_at dravonik-cli "" | tr '\n' ' ')"
names="$(cut -f3 <<<"$devices" | sort)"
[ "$(complete_at "$root/usr/bin/dravonik-cli" defaults --device "")" = "$names" ] ||
  fail "the completion offers as device types: $(complete_at "$root/usr/bin/dravonik-cli" defaults --device "")"
xmllint --noout "$root/usr/share/mime/packages/dravonik-config.xml" || fail "MIME file not XML"
if command -v update-mime-database >/dev/null; then
  mime_report="$(update-mime-database "$root/usr/share/mime" 2>&1 || true)"
  [[ "$mime_report" != *Error* ]] || fail "update-mime-database: $mime_report"
  [ -f "$root/usr/share/mime/application/x-dravonik-settings.xml" ] ||
    fail "update-mime-database does not take the MIME type"
fi
for size in 16 32 48 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/dravonik-config.png" ] ||
    fail "no ${size}x${size} icon"
done
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/60-dravonik-ftdi.rules" || fail "no udev rule"
echo "package ok: $(basename "$deb")"
