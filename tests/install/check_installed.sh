#!/usr/bin/env bash
# Checks an installed Keyscope as its user meets it.
#   check_installed.sh PREFIX       the tree under PREFIX (e.g. DESTDIR/usr): every
#                                   file is there, the programs run from another
#                                   folder without a display, desktop entry and
#                                   metainfo validate
#   check_installed.sh --install B  installs build folder B into a scratch DESTDIR
#                                   (prefix /usr) and checks that tree; cmake is
#                                   $CMAKE when set
#   check_installed.sh --listed F   F (one path per line, relative to the prefix)
#                                   names every file, e.g. a package's contents
set -euo pipefail

expected=(
    bin/keyscope bin/keyscope-record
    lib/keyscope/libkeyscope-hid.so lib/keyscope/libkeyscope-simhid.so
    lib/keyscope/keyscope-board-probe
    lib/udev/rules.d/70-keyscope.rules share/keyscope/71-keyscope-ice.rules
    share/doc/keyscope/copyright share/doc/keyscope/changelog.Debian.gz
    share/lintian/overrides/keyscope
    share/applications/keyscope.desktop
    share/metainfo/org.keyscope.Keyscope.metainfo.xml
    share/man/man1/keyscope.1.gz share/man/man1/keyscope-record.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/keyscope.png")
done

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if [ "${1:-}" = "--listed" ]; then
    for f in "${expected[@]}"; do
        grep -qxF "$f" "$2" || fail "not listed: $f"
    done
    echo "all ${#expected[@]} files listed"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "${1:-}" = "--install" ]; then
    DESTDIR="$work/root" "${CMAKE:-cmake}" --install "$2" --prefix /usr >/dev/null
    prefix=$work/root/usr
else
    prefix=$(realpath "$1")
fi
for f in "${expected[@]}"; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
# The rule runs the probe by the path the package installs it to, on every
# hidraw node, and tags a node for the user only on the probe's word.
rule=$prefix/lib/udev/rules.d/70-keyscope.rules
grep -qF 'IMPORT{program}="/usr/lib/keyscope/keyscope-board-probe ' "$rule" ||
    fail "the udev rule does not run the installed probe"
grep -v '^#' "$rule" | grep -F 'uaccess' | grep -qvF 'ENV{KEYSCOPE_BOARD}=="1"' &&
    fail "the udev rule grants access without the probe's word"
for page in "$prefix"/share/man/man1/*.1.gz; do
    gzip -dc "$page" | grep -q '^\.TH ' || fail "not a manual page: $page"
done

# From a folder far from the build tree: the modules must be found relative to
# the installed program.
cd "$work"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u KEYSCOPE_HID_LIBRARY "$@"; }

run KEYSCOPE_SIMULATE=1 "$prefix/bin/keyscope-record" --hid --samples 5 --output rows.csv \
    2>record.err || fail "keyscope-record: $(cat record.err)"
rows=$(($(wc -l <rows.csv) - 1))
[ "$rows" -eq 5 ] || fail "keyscope-record wrote $rows rows, not 5"

for program in keyscope keyscope-record; do
    run "$prefix/bin/$program" --help >help.txt || fail "$program --help failed"
    grep -q "^Usage: $program" help.txt || fail "$program --help printed no usage"
    run "$prefix/bin/$program" --version | grep -qx "$program [0-9.]*" ||
        fail "$program --version"
done

desktop-file-validate "$prefix/share/applications/keyscope.desktop"
# The project has no homepage, so the metainfo names none (a made-up address
# would send users nowhere). AppStream 1.0 warns of that, and only of that:
# the one note accepted, as information. Releases before 1.0 know no such tag.
accepted=()
if appstreamcli --version | grep -q 'version: [1-9]'; then
    accepted=(--override=url-homepage-missing=info)
fi
appstreamcli validate --no-net "${accepted[@]}" \
    "$prefix/share/metainfo/org.keyscope.Keyscope.metainfo.xml"
echo "installed tree under $prefix checked"
