#!/usr/bin/env bash
# Builds Keyscope and passes its tests on another Debian release as a new user
# of it would: in a pristine root made with debootstrap, as an ordinary user
# with sudo, by the README's test command (which installs what it needs).
#
#   scripts/check-release.sh SUITE     e.g. trixie (Debian 13)
#
#   CMAKE_ARGS          passed on to scripts/test.sh in the root
#   KEYSCOPE_KEEP_ROOT  1: leave the root (unmounted) for a look afterwards
#
# Runs as root. The root comes from the Debian archive apt already uses; a
# failed download is tried once more. Whatever the outcome, the mounts are
# undone and the root removed.
set -euo pipefail
cd "$(dirname "$0")/.."
suite=${1:?usage: scripts/check-release.sh SUITE}
[ "$(id -u)" -eq 0 ] || { echo "check-release: debootstrap, chroot and mount need root" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "check-release: debootstrap is not installed" >&2; exit 2; }
user=builder

# The first archive apt reads for this machine's own release, in either
# format of its sources; Debian's own address when none is found.
archive() {
    local codename
    # shellcheck disable=SC1091
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v want="$codename" '
            BEGIN { RS = ""; FS = "\n" }
            {
                types = uris = suites = ""; enabled = "yes"
                for (i = 1; i <= NF; i++) {
                    line = $i
                    if (line ~ /^Types:/) { sub(/^Types:[ \t]*/, "", line); types = " " line " " }
                    else if (line ~ /^URIs:/) { sub(/^URIs:[ \t]*/, "", line); uris = line }
                    else if (line ~ /^Suites:/) { sub(/^Suites:[ \t]*/, "", line); suites = " " line " " }
                    else if (line ~ /^Enabled:/) { sub(/^Enabled:[ \t]*/, "", line); enabled = line }
                }
                if (types ~ / deb / && enabled != "no" && suites ~ (" " want " ")) {
                    split(uris, u, /[ \t]+/); print u[1]
                }
            }'
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v want="$codename" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                if ($(i + 1) == want) print $i
            }'
    } | head -1
}
mirror=$(archive || true)  # a missing sources file is no error
mirror=${mirror:-http://deb.debian.org/debian}

work=$(mktemp -d /var/tmp/keyscope-"$suite".XXXXXX)
root=$work/root
mkdir "$root"

mounted() {
    awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}
unmount_all() {
    local m
    for m in $(mounted); do
        umount "$m" 2>/dev/null || umount -l "$m" || true
    done
}
cleanup() {
    local rc=$? proc
    # What the check started in the root (a test's X server, an apt helper)
    # would keep its mounts busy.
    for proc in /proc/[0-9]*; do
        if [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ]; then
            kill -KILL "${proc#/proc/}" 2>/dev/null || true
        fi
    done
    unmount_all
    if [ -n "$(mounted)" ]; then
        echo "check-release: still mounted, left in place: $(mounted | tr '\n' ' ')" >&2
    elif [ "${KEYSCOPE_KEEP_ROOT:-}" = 1 ]; then
        echo "check-release: the root is kept in $root"
    else
        rm -rf --one-file-system "$work"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
echo "check-release: debootstrap $suite from $mirror"
bootstrap() {
    debootstrap --variant=minbase --include=sudo "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1
}
if ! bootstrap; then
    tail -5 "$work/debootstrap.log" >&2
    echo "check-release: debootstrap failed; trying once more" >&2
    unmount_all
    rm -rf --one-file-system "$root"
    mkdir "$root"
    bootstrap || { tail -30 "$work/debootstrap.log" >&2; exit 1; }
fi
echo "check-release: root made in $((SECONDS - started)) s"

# Name lookups for apt; one more try of a failed download inside the root too;
# no services started by package scripts (nothing runs them in a chroot).
cp /etc/resolv.conf "$root/etc/resolv.conf"
grep -qw "$(hostname)" "$root/etc/hosts" 2>/dev/null || echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"
echo 'Acquire::Retries "1";' >"$root/etc/apt/apt.conf.d/80retry"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

chroot "$root" useradd --create-home --shell /bin/bash "$user"
echo "$user ALL=(ALL) NOPASSWD: ALL" >"$root/etc/sudoers.d/$user"
chmod 440 "$root/etc/sudoers.d/$user"

# Qt and the X server share memory through /dev/shm; the serial tests open
# pseudo-terminals, which need a devpts of the root's own.
mount -t proc proc "$root/proc"
mount -t sysfs -o ro sysfs "$root/sys"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"

# The tree as checked out, with files not yet committed, without build folders.
src=/home/$user/keyscope
mkdir "$root$src"
git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - | tar -C "$root$src" -xf -
chroot "$root" chown -R "$user:$user" "$src"

tested=$SECONDS
echo "check-release: scripts/test.sh as $user in the $suite root"
chroot "$root" /usr/sbin/runuser -u "$user" -- env -i \
    HOME="/home/$user" USER="$user" LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin \
    LANG=C.UTF-8 CMAKE_ARGS="${CMAKE_ARGS:-}" \
    bash -c "cd $src && scripts/test.sh"
echo "check-release: $suite passed; set-up and tests $((SECONDS - tested)) s," \
    "$((SECONDS - started)) s in all"
