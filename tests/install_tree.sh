#!/bin/sh
# Installs the build into a scratch DESTDIR and checks the tree a device
# image gets: the daemon in sbin, the tools in bin, the call log page in the
# CGI directory, the commented samples.
#   install_tree.sh BUILD_DIR SBINDIR BINDIR SYSCONFDIR CGIDIR [WEB_NEEDS]
# (the full install dirs; WEB_NEEDS: the shared libraries cdrweb may need)
set -eu
build=$1 sbin=$2 bin=$3 etc=$4 cgi=$5 web_needs=${6:-}
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" >/dev/null
fail=0
for f in "$sbin/cdrd" "$bin/cdrsend" "$bin/cdrctl" "$cgi/cdrweb"; do
    [ -x "$dest$f" ] || { echo "missing or not executable: $f"; fail=1; }
done
for f in sysconfig/general_settings.conf sysconfig/general_paths.conf sysconfig/rc.conf \
    auto-down-stat.conf; do
    [ -s "$dest$etc/kelt-conf/$f" ] || { echo "missing: $etc/kelt-conf/$f"; fail=1; }
done
# Every key of the samples has its comment above it.
for f in "$dest$etc"/kelt-conf/*.conf "$dest$etc"/kelt-conf/sysconfig/*.conf; do
    awk -v f="$f" '/^[A-Za-z_]+=/ && prev !~ /^#/ { print f ": no comment above " $0; bad = 1 }
                   { prev = $0 } END { exit bad }' "$f" || fail=1
done
[ -z "$(find "$dest" -name '*_test' -o -name '*.a')" ] || { echo "test or library files installed"; fail=1; }
# The web server starts cdrweb for every request: a library it loads is
# paid each time (the C++ library was most of a page view).
if [ -n "$web_needs" ]; then
    needs=$(readelf -d "$dest$cgi/cdrweb" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | paste -sd' ')
    [ "$needs" = "$web_needs" ] || { echo "cdrweb needs $needs, not only $web_needs"; fail=1; }
fi
exit $fail
