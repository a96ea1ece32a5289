#!/bin/bash
# Installs a build into a scratch prefix and checks the files a desktop reads with the desktop's
# own tools: the menu entry, the MIME package that names .qrx files, the AppStream metadata.
# Usage: check-installed-files.sh BUILD_DIR
set -euo pipefail
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
share="$prefix/share"

desktop="$share/applications/org.vistrel.Vistrel.desktop"
desktop-file-validate "$desktop"
grep -qx 'Exec=vistrel %f' "$desktop"
grep -qx 'MimeType=application/x-vistrel-repository;' "$desktop"

mime="$share/mime/packages/vistrel.xml"
xmllint --noout "$mime"
grep -q '<glob pattern="\*.qrx"/>' "$mime"
# The MIME database accepts the package and makes the type of it.
update-mime-database "$share/mime"
test -f "$share/mime/application/x-vistrel-repository.xml"

appstreamcli validate --no-net "$share/metainfo/org.vistrel.Vistrel.metainfo.xml"
echo "installed desktop files are valid"
