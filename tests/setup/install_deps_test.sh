#!/bin/sh
# install_deps_test.sh <install-deps.sh>
# The set-up never asks apt for a package that would take the place of one
# the machine has: with the desktop LibreOffice installed it asks for none of
# the headless forms, and apt, asked for exactly that request (simulated,
# nothing changes), removes nothing.
set -eu
script=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A dpkg-query that reports installed exactly the packages listed in $work/have.
mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/bin/sh
for last; do :; done
grep -qx -- "$last" "$FAKE_INSTALLED" && printf installed || exit 1
FAKE
chmod +x "$work/bin/dpkg-query"

request() { # request <installed packages...>
    printf '%s\n' "$@" >"$work/have"
    FAKE_INSTALLED="$work/have" PATH="$work/bin:$PATH" bash "$script" --print-request
}

desktop=$(request libreoffice-core libreoffice-writer libreoffice-calc cmake)
echo "$desktop" | grep -q -- '-nogui' && fail "desktop office installed, yet asked for: $(echo "$desktop" | grep -- -nogui)"
echo "$desktop" | grep -qx libreoffice-dev || fail "the SDK is not asked for"
echo "$desktop" | grep -qx cmake && fail "an installed package is asked for again"

bare=$(request)
for p in libreoffice-core-nogui libreoffice-writer-nogui libreoffice-calc-nogui; do
    echo "$bare" | grep -qx "$p" || fail "nothing installed, yet $p is not asked for"
done
echo "$bare" | grep -qx libreoffice-writer && fail "the desktop writer is asked for"

headless=$(request libreoffice-core-nogui libreoffice-writer-nogui libreoffice-calc-nogui)
echo "$headless" | grep -q '^libreoffice-\(core\|writer\|calc\)' && fail "headless office installed, yet asked for an office package"

# What apt would do with this machine's own request and with the desktop
# machine's request: simulated, and never a removal.
real=$(bash "$script" --print-request)
for req in "$real" "$desktop"; do
    [ -n "$req" ] || continue
    # shellcheck disable=SC2086
    sim=$(apt-get -s install --no-install-recommends $req 2>&1) || fail "apt-get -s failed: $sim"
    echo "$sim" | grep '^Remv' && fail "apt would remove packages for: $(echo $req)"
done
echo "set-up request: nothing replaced, nothing removed"
