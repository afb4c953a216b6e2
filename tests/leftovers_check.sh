#!/bin/sh
# leftovers_check.sh <journal>
# The last test of the suite: every path that a program run by the suite
# listed as not to outlive it (temporary folders, socket files, staging
# folders; NUL-separated in the journal) is gone. Guardians of programs that
# ended just now get a few seconds to finish.
journal=$1
if [ ! -s "$journal" ]; then
    echo "no program of the suite recorded anything"
    exit 0
fi
left() {
    xargs -0 -r sh -c 'for p; do if [ -e "$p" ] || [ -L "$p" ]; then printf "%s\n" "$p"; fi; done' sh <"$journal"
}
tries=0
while [ -n "$(left)" ] && [ "$tries" -lt 30 ]; do
    sleep 1
    tries=$((tries + 1))
done
remaining=$(left)
if [ -n "$remaining" ]; then
    echo "left behind:"
    printf '%s\n' "$remaining"
    exit 1
fi
echo "$(tr -cd '\000' <"$journal" | wc -c) recorded paths, none left"
