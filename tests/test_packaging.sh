#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a built tree into a throw-away root the way the Debian package does (prefix /usr, DESTDIR), then checks
# that exactly the expected files arrive, that the desktop file and the AppStream metainfo pass their validators,
# that the manual page renders without warnings, and that the installed program answers --version and --help
# without a display.
# Usage: tests/test_packaging.sh BUILD_DIR APP_ID VERSION
set -euo pipefail

build_dir=$1
app_id=$2
version=$3

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

if ! DESTDIR="$root" cmake --install "$build_dir" --prefix /usr >"$root.log" 2>&1; then
    cat "$root.log" >&2
    rm -f "$root.log"
    echo "FAIL: cmake --install (is the tidewell target built?)" >&2
    exit 1
fi
rm -f "$root.log"

# Everything the package holds, and nothing else: no demo server, no benchmark, no test, nothing outside /usr.
expected=(
    usr/bin/tidewell
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    usr/share/man/man1/tidewell.1.gz
    usr/share/doc/tidewell/copyright
    usr/share/tidewell/translations/tidewell_de.qm
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
if [ "$actual" != "$wanted" ]; then
    fail "installed files differ from the expected list (< installed, > expected):"
    diff <(echo "$actual") <(echo "$wanted") >&2 || true
fi

[ -x "$root/usr/bin/tidewell" ] || fail "usr/bin/tidewell is not executable"

# Each PNG is a PNG of its directory's size: width and height are the big-endian words at bytes 16 and 20.
for size in "${sizes[@]}"; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    [ -f "$png" ] || continue
    signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    width=$(od -An -tu4 --endian=big -j16 -N4 "$png" | tr -d ' ')
    height=$(od -An -tu4 --endian=big -j20 -N4 "$png" | tr -d ' ')
    [ "$signature" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}, not ${size}x${size}"
done

# Each translation is a compiled Qt translation, which opens with Qt's magic number.
for qm in "$root"/usr/share/tidewell/translations/*.qm; do
    [ -f "$qm" ] || continue
    magic=$(od -An -tx1 -N16 "$qm" | tr -d ' \n')
    [ "$magic" = 3cb86418caef9c95cd211cbf60a1bddd ] || fail "$qm is not a compiled Qt translation"
done

desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"

if [ -f "$desktop" ]; then
    if ! output=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$output" ]; then
        fail "desktop-file-validate: $output"
    fi
    grep -qx "Icon=$app_id" "$desktop" || fail "the desktop file does not name the icon $app_id"
    grep -qx "Exec=tidewell %u" "$desktop" || fail "the desktop file does not start tidewell with a URL"
    # X11 docks match windows to the desktop file by the class Qt gives the window: the application name.
    grep -qx "StartupWMClass=Tidewell" "$desktop" || fail "the desktop file does not name the window class Tidewell"
    for key in Name GenericName Comment; do
        grep -q "^$key\\[de\\]=." "$desktop" || fail "the desktop file has no German $key"
    done
fi

if [ -f "$metainfo" ]; then
    # Offline: the validator would otherwise try to fetch every address in the file. --strict fails on warnings
    # and informational hints too, leaving only the pedantic ones.
    if ! output=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1); then
        fail "appstreamcli validate: $output"
    fi
    grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch $app_id.desktop"
    for element in name summary p; do
        grep -q "<$element xml:lang=\"de\">" "$metainfo" || fail "the metainfo has no German <$element>"
    done
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release entry for $version"
    grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "the metainfo has no OARS content rating"
    grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
        fail "the metainfo does not name the licence GPL-3.0-or-later"
    grep -q '<metadata_license>CC0-1.0</metadata_license>' "$metainfo" ||
        fail "the metainfo's own licence is not CC0-1.0"
fi

man="$root/usr/share/man/man1/tidewell.1.gz"
if [ -f "$man" ]; then
    if ! output=$(gzip -dc "$man" | groff -man -Tutf8 -ww -z 2>&1) || [ -n "$output" ]; then
        fail "the manual page does not render cleanly: $output"
    fi
    gzip -dc "$man" | grep -q "Tidewell $version" || fail "the manual page does not carry version $version"
fi

# The copyright file in Debian's machine-readable format: a header paragraph naming the format, a Files paragraph
# for everything, and the licence's own paragraph; every line a field or a field's continuation.
copyright="$root/usr/share/doc/tidewell/copyright"
if [ -f "$copyright" ]; then
    if ! output=$(awk -v RS= -v FS='\n' '
        function field(name, i) {
            for (i = 1; i <= NF; i++) if (index($i, name ": ") == 1) return substr($i, length(name) + 3)
            return ""
        }
        {
            for (i = 1; i <= NF; i++)
                if ($i !~ /^[A-Za-z][A-Za-z-]*:( |$)/ && $i !~ /^ [^ ]/ && $i != " .")
                    print "paragraph " NR ", line " i " is neither a field nor a continuation: " $i
        }
        NR == 1 && field("Format") != "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" {
            print "the first paragraph does not name the format"
        }
        NR == 1 && field("Upstream-Name") != "Tidewell" { print "the upstream name is not Tidewell" }
        field("Files") == "*" {
            files = 1
            if (field("Copyright") == "") print "the Files paragraph names no copyright holder"
            if (field("License") != "GPL-3.0-or-later") print "the Files paragraph licence is not GPL-3.0-or-later"
        }
        NR > 1 && field("Files") == "" && field("License") == "GPL-3.0-or-later" && NF > 1 { text = 1 }
        END {
            if (!files) print "no Files paragraph covers every file"
            if (!text) print "no paragraph holds the text of GPL-3.0-or-later"
        }' "$copyright") || [ -n "$output" ]; then
        fail "the copyright file: $output"
    fi
    grep -q '/usr/share/common-licenses/GPL-3' "$copyright" ||
        fail "the copyright file does not point to the licence's full text"
fi

# Informational arguments answer before any window exists: with the X11 platform forced and no display, a
# program that built its application object first would abort instead.
if [ -x "$root/usr/bin/tidewell" ]; then
    run_headless() {
        env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 20 "$root/usr/bin/tidewell" "$@"
    }
    if ! output=$(run_headless --version 2>"$root/stderr"); then
        fail "tidewell --version failed: $(cat "$root/stderr")"
    elif [ "$output" != "tidewell $version" ]; then
        fail "tidewell --version printed '$output', not 'tidewell $version'"
    fi
    if ! output=$(run_headless --help 2>"$root/stderr"); then
        fail "tidewell --help failed: $(cat "$root/stderr")"
    elif ! grep -q '^Usage: tidewell ' <<<"$output" || ! grep -q -- '--version' <<<"$output"; then
        fail "tidewell --help printed no usage: $output"
    fi
    [ ! -s "$root/stderr" ] || fail "tidewell --help wrote to stderr: $(cat "$root/stderr")"
    rm -f "$root/stderr"
fi

if [ "$failures" -ne 0 ]; then
    echo "test_packaging: $failures failure(s)" >&2
    exit 1
fi
echo "test_packaging: ${#expected[@]} files installed and checked; desktop file and metainfo valid"
