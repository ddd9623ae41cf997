#!/usr/bin/env bash
# Builds the Debian package from a release build and checks it as a user's machine would:
#   scripts/package-check.sh [--install] [BUILD_DIR]
# --install installs it with dpkg -i (CI: root on a throwaway machine); without it the package
# is unpacked into a temporary root with dpkg -x, so a developer's machine stays as it is.
# Then: the installed program answers --version without a display, appstreamcli and
# desktop-file-validate accept the installed metadata, and lintian finds no errors.
set -euo pipefail
cd "$(dirname "$0")/.."

install=0
if [ "${1:-}" = "--install" ]; then
    install=1
    shift
fi
dir=${1:-build-package}

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
bash scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DOMBRELAY_TESTS=OFF -DOMBRELAY_BENCH=OFF "${launcher[@]}"
rm -f "$dir"/ombrelay_*.deb
(cd "$dir" && cpack -G DEB)
deb=$(ls "$dir"/ombrelay_*.deb)
echo "== package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends

if [ "$install" = 1 ]; then
    echo "== dpkg -i"
    dpkg -i "$deb"
    root=""
else
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    echo "== dpkg -x into $root"
    dpkg -x "$deb" "$root"
fi

echo "== ombrelay --version (no display)"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/ombrelay" --version)
echo "$version"
[ "$version" = "ombrelay $(sed -n 's/^project(Ombrelay VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ]
for tool in ombrelayctl ombrelay-pdu ombrelay-sim; do
    env -u DISPLAY "$root/usr/bin/$tool" --version
done
# A release build has no test channel.
if env -u DISPLAY "$root/usr/bin/ombrelay" --test-commands --version >/dev/null 2>&1; then
    echo "package-check: the packaged program accepts --test-commands" >&2
    exit 1
fi

echo "== installed files"
for f in usr/share/applications/ombrelay.desktop usr/share/metainfo/example.virelle.Ombrelay.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/ombrelay.svg usr/share/icons/hicolor/48x48/apps/ombrelay.png \
    usr/share/man/man1/ombrelay.1.gz usr/share/man/man1/ombrelay-pdu.1.gz usr/share/man/man1/ombrelayctl.1.gz \
    usr/share/ombrelay/ombrelay-autostart.desktop usr/share/ombrelay/translations/ombrelay_de.qm \
    usr/share/ombrelay/translations/ombrelay_fr.qm; do
    [ -f "$root/$f" ] || { echo "package-check: /$f is missing" >&2; exit 1; }
done

echo "== appstreamcli validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.virelle.Ombrelay.metainfo.xml"
echo "== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/ombrelay.desktop"
desktop-file-validate "$root/usr/share/ombrelay/ombrelay-autostart.desktop"
echo "== lintian"
lintian --fail-on error "$deb"
echo "== package-check: all passed"
