#!/usr/bin/env bash
# Validates the AppStream metainfo and checks that it names this application, its programs,
# its release with its date and the licence that the sources carry.
# Usage: check-metainfo.sh METAINFO_FILE APP_ID VERSION RELEASE_DATE SOURCE_DIR
source "$(dirname "$0")/common.sh"
metainfo=$1
app_id=$2
version=$3
release_date=$4
source_dir=$5

need_tool appstreamcli appstream
need_tool xmllint libxml2-utils

[ "$(basename "$metainfo")" = "$app_id.metainfo.xml" ] ||
    fail "$metainfo is not named after the application id $app_id"

# --strict fails on errors, warnings and infos; pedantic remarks are shown but tolerated.
if ! appstreamcli validate --no-net --strict --pedantic --explain "$metainfo"; then
    fail "appstreamcli rejects $metainfo"
fi

value() {
    xmllint --xpath "string($1)" "$metainfo"
}

expect_value() {
    local path=$1 expected=$2 actual
    actual=$(value "$path")
    [ "$actual" = "$expected" ] || fail "$path is \"$actual\", expected \"$expected\""
}

expect_value /component/id "$app_id"
expect_value /component/@type desktop-application
expect_value "/component/launchable[@type='desktop-id']" "$app_id.desktop"
expect_value "count(/component/provides/binary[.='tarskcjs'])" 1
expect_value "count(/component/provides/binary[.='tarskcjs-cli'])" 1
expect_value /component/content_rating/@type oars-1.1
expect_value /component/releases/release[1]/@version "$version"
expect_value /component/releases/release[1]/@date "$release_date"
case $(value "/component/screenshots/screenshot[@type='default']/image") in
https://*.png) ;;
*) fail "the default screenshot is not a PNG image behind an https URL" ;;
esac

# The licence of the project is the one every source file declares.
licence=$(value /component/project_license)
declared=$(grep -rhoE 'SPDX-License-Identifier: [^ ]+' "$source_dir"/{model,writer,check,cli,ui} |
    sed 's/.*: //' | sort -u)
[ "$declared" = "$licence" ] ||
    fail "project_license is \"$licence\" but the sources declare: $declared"
echo "metainfo $metainfo: valid"
