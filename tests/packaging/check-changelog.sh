#!/usr/bin/env bash
# Checks that debian/changelog, which gives the project its version and release date, reads
# the same to dpkg as to CMake, and that its latest entry is sound: the package's name, the
# right day of the week, a maintainer with an address, no complaint from dpkg-parsechangelog.
# Usage: check-changelog.sh CHANGELOG VERSION RELEASE_DATE
source "$(dirname "$0")/common.sh"
changelog=$1
version=$2
release_date=$3

need_tool dpkg-parsechangelog dpkg-dev
make_scratch

field() {
    dpkg-parsechangelog -l "$changelog" -S "$1" 2>>"$scratch/warnings"
}
[ "$(field Source)" = tarskcjs ] || fail "the source package is \"$(field Source)\""
[ "$(field Version)" = "$version" ] ||
    fail "dpkg reads version \"$(field Version)\", CMake $version"
# The day as the entry writes it, whatever its time zone: the offset is dropped before date
# reads it in UTC.
written=$(field Date)
day=$(LC_ALL=C TZ=UTC date -d "${written% *}" +%F) || fail "date cannot read \"$written\""
[ "$day" = "$release_date" ] || fail "dpkg reads the date $day, CMake $release_date"
weekday=$(LC_ALL=C TZ=UTC date -d "$release_date" +%a)
[ "${written%%,*}" = "$weekday" ] || fail "$release_date is a $weekday, not \"${written%%,*}\""
field Maintainer | grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' ||
    fail "the maintainer is \"$(field Maintainer)\", not a name and an address"
if [ -s "$scratch/warnings" ]; then
    cat "$scratch/warnings" >&2
    fail "dpkg-parsechangelog complains about $changelog"
fi
echo "changelog: tarskcjs $version of $release_date ($written)"
