#!/bin/sh
# Started by the process-restart tests: records what the new program sees
# (its arguments, descriptors, blocked signals and session) in $PROBE_OUT.
# Descriptors are examined first and with built-in tests only, so that no
# descriptor this shell opens can take the place of a closed one.
fd0=other; [ -p /proc/$$/fd/0 ] && fd0=pipe
fd1=other; [ -p /proc/$$/fd/1 ] && fd1=pipe
same=no
# shellcheck disable=SC3013  # -ef is a built-in test of dash and bash
[ /proc/$$/fd/0 -ef /proc/$$/fd/1 ] && same=yes
fd2=closed; [ -e /proc/$$/fd/2 ] && fd2=open
# The blocked signals too, before the shell forks (it blocks signals around that).
while IFS= read -r line; do
    case "$line" in SigBlk:*) sigblk=$line ;; esac
done </proc/$$/status
out="$PROBE_OUT"
{
    echo "argc=$#"
    for a in "$@"; do printf '[%s]\n' "$a"; done
    echo "fd0=$fd0 fd1=$fd1 same-pipe=$same fd2=$fd2"
    echo "$sigblk"
    echo "session=$(cut -d' ' -f6 "/proc/$$/stat") pid=$$"
} >"$out.tmp"
mv "$out.tmp" "$out"
