#!/bin/sh
# unprivileged_run.sh <MorvantaConsole> <margins_window_test> <正本.doc> <副本.doc> <down.xls> <work folder>
# The operator as an ordinary user: run by root, the programs run as nobody
# (otherwise as the current user) with a HOME of their own in the build tree
# and the original template read-only (0444). The console over the sample
# data makes every document from it, leaving the template as it was; the
# margin window shows a read-only template's margins and refuses to save it
# with the message that names it. Nothing of the offices is left in the
# run's temporary folder or in /tmp.
set -u
console=$1 window_test=$2 original=$3 duplicate=$4 sample=$5 work=$6

fail() {
    echo "FAIL: $*"
    exit 1
}

rm -rf "$work"
home=$work/home
tmp=$work/tmp
runtime=$work/runtime
mkdir -p "$home/Morvanta/模板" "$home/Morvanta/下载数据" "$home/Morvanta/正副本" "$tmp" "$runtime" ||
    fail "cannot make $work"
cp "$original" "$home/Morvanta/模板/正本.doc" && cp "$duplicate" "$home/Morvanta/模板/副本.doc" &&
    cp "$sample" "$home/Morvanta/下载数据/down.xls" || fail "cannot copy the sample files"
chmod 444 "$home/Morvanta/模板/正本.doc"
chmod 700 "$runtime"

if [ "$(id -u)" -eq 0 ]; then
    user=nobody
    group=$(id -gn nobody) || fail "no user nobody"
    chown -R "nobody:$group" "$work" || fail "cannot hand $work to nobody"
    as_operator() {
        setpriv --reuid=nobody --regid="$group" --clear-groups "$@"
    }
else
    user=$(id -un)
    as_operator() {
        "$@"
    }
fi
uid=$(id -u "$user")
run() {
    as_operator env -u MORVANTA_LEFTOVER_JOURNAL HOME="$home" TMPDIR="$tmp" \
        XDG_RUNTIME_DIR="$runtime" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen "$@"
}

# Everything the programs need must be reachable by the user: the build tree
# lies under folders that root may have kept to itself.
for program in "$console" "$window_test"; do
    run test -x "$program" ||
        fail "$user cannot run $program: make the folders above it readable and searchable for all (chmod o+rx)"
done
run test -w "$home/Morvanta/模板/正本.doc" && [ "$user" != root ] &&
    fail "the template is writable for $user although it is 0444"

echo "== console as $user"
before=$(cksum <"$home/Morvanta/模板/正本.doc")
run "$console"
status=$?
[ "$status" -eq 0 ] || fail "the console ended with $status"
originals=$(find "$home/Morvanta/正副本" -name '*（正本）.doc' | wc -l)
duplicates=$(find "$home/Morvanta/正副本" -name '*（副本）.doc' | wc -l)
[ "$originals" -gt 0 ] && [ "$originals" -eq "$duplicates" ] ||
    fail "documents: $originals originals, $duplicates duplicates"
[ "$(cksum <"$home/Morvanta/模板/正本.doc")" = "$before" ] &&
    [ "$(stat -c %a "$home/Morvanta/模板/正本.doc")" = 444 ] || fail "the read-only template changed"
# The run list is the one hidden file a run leaves on purpose.
[ -s "$home/Morvanta/正副本/.morvanta-run" ] || fail "no run list"
[ -z "$(find "$home/Morvanta" -name '.*' ! -name '.' ! -name .morvanta-run | head -n 1)" ] ||
    fail "hidden files left: $(find "$home/Morvanta" -name '.*' ! -name .morvanta-run)"
echo "$originals certificates made"

echo "== margin window as $user"
run "$window_test" readOnlyTemplateIsShownButNotSaved || fail "the margin window test failed"

# The offices' folders and socket files go with the programs (their guardians
# may take a moment after the programs end). Socket files in /tmp are told
# apart by their owner's id, so they are looked for only when that user is
# nobody, whom no other test runs as.
leftovers() {
    find "$tmp" -maxdepth 1 -name 'morvanta-office-*'
    [ "$user" != nobody ] || find /tmp -maxdepth 1 -name "OSL_PIPE_${uid}_*"
}
for _ in 1 2 3 4 5 6 7 8 9 10; do
    left=$(leftovers 2>/dev/null)
    [ -z "$left" ] && break
    sleep 1
done
[ -z "$left" ] || fail "left behind: $left"
rm -rf "$work"
echo "passed as $user"
