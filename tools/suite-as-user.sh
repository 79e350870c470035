#!/usr/bin/env bash
# Runs test programs of a build as an ordinary account: suite-as-user.sh <folder of the programs> <uid> <jobs>
# <program>... Root passes every permission check, so a fault that only an ordinary user meets would pass
# unseen. Each program runs in a scratch home and temporary folder of that account, which go at the end;
# a program that account cannot reach in the build folder is copied there first. Prints each program's
# counts, the skipped tests by reason and the output of every failed test; fails when any test fails.
set -u
dir="$(cd "$1" && pwd)" uid="$2" jobs="$3"
shift 3
if [ "$(id -u)" -ne 0 ]; then
    echo "suite-user: running as $(id -un) already, whom make suite ran the tests as"
    exit 0
fi
command -v setpriv >/dev/null 2>&1 || { echo "suite-user: setpriv (util-linux) is missing"; exit 1; }
scratch="$(mktemp -d)" || exit 1
fuse_acl=""
# What the run granted goes with the scratch folder.
trap 'rm -rf "$scratch"; [ -z "$fuse_acl" ] || printf "%s\n" "$fuse_acl" | setfacl --restore=-' EXIT
chmod 711 "$scratch"
mkdir "$scratch/home" "$scratch/tmp" "$scratch/run" "$scratch/bin" "$scratch/logs"
chmod 700 "$scratch/run"
chown "$uid:$uid" "$scratch/home" "$scratch/tmp" "$scratch/run" "$scratch/logs"
chmod 755 "$scratch/bin"
name="$(getent passwd "$uid" | cut -d: -f1)"
# One group besides its own (users), as an ordinary account has: tests of what a member of another group may do.
group=100
as_user() {
    setpriv --reuid="$uid" --regid="$uid" --groups="$group" \
        env -u USER -u LOGNAME ${name:+USER="$name" LOGNAME="$name"} HOME="$scratch/home" TMPDIR="$scratch/tmp" \
        XDG_RUNTIME_DIR="$scratch/run" "$@"
}

# The stick tests mount the tests' FUSE file system as that account, through fusermount3: /dev/fuse must be
# open to it, as Debian makes it for everyone; where it is not (a container), it is for the run alone.
if [ -c /dev/fuse ] && ! as_user test -r /dev/fuse -a -w /dev/fuse; then
    fuse_acl="$(getfacl -p /dev/fuse 2>/dev/null)"
    if [ -z "$fuse_acl" ] || ! setfacl -m "u:$uid:rw" /dev/fuse 2>/dev/null; then
        fuse_acl=
        echo "suite-user: /dev/fuse is closed to uid $uid: the stick tests skip"
    fi
fi

for prog in "$@"; do
    bin="$dir/$prog"
    [ -x "$bin" ] || { echo "suite-user: $bin is not built"; exit 1; }
    if ! as_user test -x "$bin"; then
        cp "$bin" "$scratch/bin/" && chmod 755 "$scratch/bin/$prog" || exit 1
        bin="$scratch/bin/$prog"
        # The programs find the unpacking program beside them where they can't reach the build's.
        if [ -x "$dir/../kestrin-unpack" ] && [ ! -e "$scratch/bin/kestrin-unpack" ]; then
            cp "$dir/../kestrin-unpack" "$scratch/bin/" && chmod 755 "$scratch/bin/kestrin-unpack" || exit 1
        fi
    fi
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    (
        cd "$scratch/tmp" && as_user timeout -s KILL 900 "$bin" >"$scratch/logs/$prog.log" 2>&1
        echo $? >"$scratch/logs/$prog.rc"
    ) &
done
wait

python3 - "$scratch/logs" "$uid" "$@" <<'EOF'
import re, sys
logs, uid, progs = sys.argv[1], sys.argv[2], sys.argv[3:]
total = {"passed": 0, "skipped": 0, "failed": 0}
reasons, failed_out, bad = {}, [], False
for prog in progs:
    text = open(f"{logs}/{prog}.log", errors="replace").read()
    rc = int(open(f"{logs}/{prog}.rc").read().strip() or 1)
    counts = {"passed": 0, "skipped": 0, "failed": 0}
    for block in re.split(r"^\[ RUN      \] ", text, flags=re.M)[1:]:
        name = block.split("\n", 1)[0]
        if re.search(r"^\[       OK \] ", block, re.M):
            counts["passed"] += 1
        elif re.search(r"^\[  SKIPPED \] ", block, re.M):
            counts["skipped"] += 1
            m = re.search(r": Skipped\n(.*?)\n?\[  SKIPPED \]", block, re.S)
            why = (m.group(1).strip().splitlines() or ["(no reason given)"])[0] if m else "(no reason given)"
            reasons.setdefault(why, []).append(name)
        else:
            counts["failed"] += 1
            failed_out.append(f"--- {prog}: {name}\n" + block[-3000:])
    print(f"suite-user: {prog}: {counts['passed']} passed, {counts['skipped']} skipped, {counts['failed']} failed")
    if rc != 0 and counts["failed"] == 0:
        failed_out.append(f"--- {prog} ended with {rc}:\n" + text[-3000:])
    bad |= rc != 0 or counts["failed"] > 0
    for k in total:
        total[k] += counts[k]
for why, names in sorted(reasons.items(), key=lambda r: -len(r[1])):
    shown = ", ".join(names[:3]) + (" …" if len(names) > 3 else "")
    print(f"suite-user: skipped {len(names)}: {why} ({shown})")
for out in failed_out:
    print(out)
print(f"suite-user: the programs above ran as uid {uid}")
print(f"suite-user: {total['passed']} passed, {total['failed']} failed, {total['skipped']} skipped")
sys.exit(1 if bad else 0)
EOF
