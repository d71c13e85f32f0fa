#!/bin/sh
# Simulated LANs made of two network namespaces, so that a sweep of the local
# /24 only ever reaches hosts we created.
#
#   simlan.sh pick [TAG]                 print "NAME PREFIX" of a free slot
#   simlan.sh up NAME PREFIX SELF HOST[=LABEL]...
#   simlan.sh check NAME                 prove isolation; non-zero if not proven
#   simlan.sh winecheck NAME WINEPREFIX  refuse a prefix served from outside NAME-a
#   simlan.sh exec NAME -- CMD...        check both, then run CMD inside NAME-a
#   simlan.sh down NAME [WINEPREFIX]...  remove everything; idempotent
#   simlan.sh list                       names of the LANs this script made
#
# NAME-a is where the program under test runs: lo and one veth end carrying
# PREFIX.SELF/24, nothing else, no route beyond the /24, no IPv6.
# NAME-b is the simulated LAN: the other veth end carrying PREFIX.HOST/24 for
# every host that should answer. /etc/netns/NAME-a/hosts maps this machine's
# host name to the self address (ip netns exec mounts it over /etc/hosts), and
# LABELs to their hosts.
#
# up also writes the LAN's token, PREFIX/RANDOM, into that hosts file as the
# line "# RIVELO_SIMULATED_LAN=TOKEN": only a process inside NAME-a sees it at
# /etc/hosts. exec checks the Wine prefix CMD would use ($WINEPREFIX, else
# ~/.wine) with winecheck, and runs CMD with RIVELO_SIMULATED_LAN=TOKEN: the
# stand-in engine and echo_batch scan only where that marker equals the token
# they see, and one adapter without a gateway carries an address of the range
# pick hands out (10.77.1-254).
#
# Exit codes: 0 done, 1 failed (message on stderr), 2 usage, 3 NAME or PREFIX
# already taken by another run (nothing was created; pick again), 4 isolation
# not proven (or the Wine prefix is served from outside).
set -eu
export LC_ALL=C

STATE_DIR=${RIVELO_SIMLAN_STATE:-/run/rivelo-simlan}
WINESERVER=/usr/lib/wine/wineserver

die() { code=$1; shift; echo "simlan: $*" >&2; exit "$code"; }
usage() { sed -n '2,10s/^# \{0,1\}//p' "$0" >&2; exit 2; }

need_root() {
    [ "$(id -u)" -eq 0 ] || die 1 "network namespaces need root (run as root or with sudo)"
    command -v ip >/dev/null 2>&1 || die 1 "the 'ip' command is missing (Debian package iproute2)"
}

valid_name() {
    # Interface names are limited to 15 characters; NAME-a must fit.
    printf '%s' "$1" | grep -Eq '^[a-z][a-z0-9]{0,12}$' ||
        die 2 "bad name '$1': 1 to 13 lower-case letters or digits, starting with a letter"
}

valid_octet() {
    printf '%s' "$1" | grep -Eq '^(0|[1-9][0-9]{0,2})$' && [ "$1" -le 255 ]
}

valid_prefix() {
    printf '%s' "$1" | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+$' || die 2 "bad prefix '$1': expected three octets, e.g. 10.77.5"
    for o in $(printf '%s' "$1" | tr . ' '); do
        valid_octet "$o" || die 2 "bad prefix '$1': octet $o out of range"
    done
}

valid_host() {
    { valid_octet "$1" && [ "$1" -ge 1 ] && [ "$1" -le 254 ]; } || die 2 "bad host number '$1': expected 1 to 254"
}

netns_exists() { ip netns list | awk '{print $1}' | grep -qx "$1"; }
link_exists() { ip link show dev "$1" >/dev/null 2>&1; }
# Whether anything already bears the names of NAME's two ends.
ends_exist() { netns_exists "$1-a" || netns_exists "$1-b" || link_exists "$1-a" || link_exists "$1-b"; }

# Link names without the "@peer" suffix, one a line.
link_names() { ip -n "$1" -o link show | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }' | sort; }

cmd_pick() {
    tag=${1:-rv}
    printf '%s' "$tag" | grep -Eq '^[a-z][a-z0-9]{0,9}$' || die 2 "bad tag '$tag': 1 to 10 lower-case letters or digits"
    start=$(( $$ % 254 ))
    for i in $(seq 0 253); do
        slot=$(( (start + i) % 254 + 1 ))
        name=$tag$slot
        prefix=10.77.$slot
        if [ ! -e "$STATE_DIR/$name" ] && [ ! -e "$STATE_DIR/net-$prefix" ] &&
           ! ends_exist "$name"; then
            echo "$name $prefix"
            return 0
        fi
    done
    die 1 "no free slot for tag '$tag'"
}

cmd_up() {
    [ $# -ge 3 ] || usage
    name=$1 prefix=$2 self=$3
    shift 3
    valid_name "$name"
    valid_prefix "$prefix"
    valid_host "$self"
    for h in "$@"; do
        n=${h%%=*}
        valid_host "$n"
        [ "$n" != "$self" ] || die 2 "host $n is the self address"
        # HOST=LABEL
        [ "$n" = "$h" ] || printf '%s' "${h#*=}" | grep -Eq '^[A-Za-z0-9][A-Za-z0-9.-]*$' ||
            die 2 "bad label in '$h'"
    done
    need_root

    # The two lock directories are the reservation: mkdir is atomic, so two
    # runs never build the same name or the same /24 at once.
    mkdir -p "$STATE_DIR"
    mkdir "$STATE_DIR/$name" 2>/dev/null || die 3 "name '$name' is taken by another run"
    if ! mkdir "$STATE_DIR/net-$prefix" 2>/dev/null; then
        rmdir "$STATE_DIR/$name"
        die 3 "prefix $prefix.0/24 is taken by another run"
    fi
    echo "$prefix" > "$STATE_DIR/$name/prefix"
    echo "$self" > "$STATE_DIR/$name/self"
    token=$prefix/$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
    echo "$token" > "$STATE_DIR/$name/token"
    if ends_exist "$name"; then
        rm -rf "$STATE_DIR/$name" "$STATE_DIR/net-$prefix"
        die 3 "a namespace or interface named $name-a or $name-b already exists and is not ours"
    fi

    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'status=$?; if [ $status -ne 0 ]; then echo "simlan: up failed, removing what was made" >&2; cmd_down "$name" >/dev/null 2>&1 || true; fi' EXIT
    a=$name-a b=$name-b
    ip netns add "$a"
    ip netns add "$b"
    ip link add "$a" netns "$a" type veth peer name "$b" netns "$b"
    # Nothing in A may reach past the veth, not even by link-local IPv6.
    if [ -d /proc/sys/net/ipv6 ]; then
        ip netns exec "$a" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
            "net.ipv6.conf.$a.disable_ipv6=1" net.ipv6.conf.lo.disable_ipv6=1
        ip netns exec "$b" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
            "net.ipv6.conf.$b.disable_ipv6=1"
    fi
    ip -n "$a" link set lo up
    ip -n "$a" addr add "$prefix.$self/24" dev "$a"
    ip -n "$a" link set "$a" up
    ip -n "$b" link set lo up
    for h in "$@"; do
        ip -n "$b" addr add "${prefix}.${h%%=*}/24" dev "$b"
    done
    ip -n "$b" link set "$b" up

    mkdir -p "/etc/netns/$a"
    {
        printf '# RIVELO_SIMULATED_LAN=%s\n' "$token"
        printf '127.0.0.1\tlocalhost\n'
        printf '%s.%s\t%s\n' "$prefix" "$self" "$(hostname)"
        for h in "$@"; do
            [ "${h%%=*}" = "$h" ] || printf '%s.%s\t%s\n' "$prefix" "${h%%=*}" "${h#*=}"
        done
    } > "/etc/netns/$a/hosts"
    trap - EXIT INT TERM
}

cmd_check() {
    [ $# -eq 1 ] || usage
    name=$1
    valid_name "$name"
    need_root
    a=$name-a b=$name-b
    fail() { die 4 "isolation of '$name' not proven: $*"; }

    netns_exists "$a" || fail "namespace $a does not exist"
    netns_exists "$b" || fail "namespace $b does not exist"
    [ -r "$STATE_DIR/$name/prefix" ] || fail "no record of its prefix (was it made by simlan.sh up?)"
    prefix=$(cat "$STATE_DIR/$name/prefix")
    self=$(cat "$STATE_DIR/$name/self")

    links=$(link_names "$a" | tr '\n' ' ')
    [ "$links" = "$(printf '%s\n' lo "$a" | sort | tr '\n' ' ')" ] ||
        fail "$a has interfaces '$links', expected only lo and $a"
    ip -n "$a" -d link show dev "$a" | grep -q 'veth' || fail "$a is not a veth"
    peer_ns=$(ip -n "$a" -o link show dev "$a" | sed -n 's/.* link-netns \([^ ]*\).*/\1/p')
    [ "$peer_ns" = "$b" ] || fail "the peer of $a is in '${peer_ns:-an unnamed namespace}', expected $b"
    links=$(link_names "$b" | tr '\n' ' ')
    [ "$links" = "$(printf '%s\n' lo "$b" | sort | tr '\n' ' ')" ] ||
        fail "$b has interfaces '$links', expected only lo and $b"

    addrs=$(ip -n "$a" -4 -o addr show | awk '{print $2, $4}' | sort | tr '\n' ';')
    [ "$addrs" = "$(printf '%s\n' "$a $prefix.$self/24" "lo 127.0.0.1/8" | sort | tr '\n' ';')" ] ||
        fail "$a has IPv4 addresses '$addrs'"
    [ -z "$(ip -n "$a" -6 -o addr show)" ] || fail "$a has IPv6 addresses"

    # Every route, in every table, must stay inside the /24 or on loopback.
    stray=$(ip -n "$a" -4 route show table all | awk -v inside="$prefix." '
        { dst = $1 ~ /^(local|broadcast|unicast|multicast|anycast)$/ ? $2 : $1 }
        index(dst, inside) != 1 && index(dst, "127.") != 1 { print dst }' | tr '\n' ' ')
    [ -z "$stray" ] || fail "$a has routes beyond $prefix.0/24: $stray"
    [ -z "$(ip -n "$b" -4 route show default)" ] || fail "$b has a default route"

    [ -r "/etc/netns/$a/hosts" ] || fail "/etc/netns/$a/hosts is missing"
    host=$(hostname)
    resolved=$(ip netns exec "$a" getent ahostsv4 "$host" | awk '{print $1}' | sort -u | tr '\n' ' ') || true
    [ "$resolved" = "$prefix.$self " ] ||
        fail "inside $a the host name '$host' resolves to '${resolved:-nothing}', expected $prefix.$self"
    token=$(cat "$STATE_DIR/$name/token" 2>/dev/null) || fail "no record of its token"
    seen=$(ip netns exec "$a" sed -n 's/^# RIVELO_SIMULATED_LAN=//p' /etc/hosts)
    [ "$seen" = "$token" ] || fail "inside $a /etc/hosts holds the token '$seen', expected '$token'"
}

# A Wine program joins the wineserver of its prefix, wherever that server
# runs: one started outside NAME-a (a default prefix, or the one ctest keeps
# alive) would send the program's echoes from outside. A wineserver works in
# /tmp/.wine-UID/server-DEV-INODE, named after its prefix directory.
cmd_winecheck() {
    [ $# -eq 2 ] || usage
    name=$1 wineprefix=$2
    valid_name "$name"
    need_root
    netns_exists "$name-a" || die 4 "namespace $name-a does not exist"
    [ -d "$wineprefix" ] || return 0
    server_dir=server-$(stat -L -c %D "$wineprefix")-$(printf '%x' "$(stat -L -c %i "$wineprefix")")
    for proc in /proc/[0-9]*; do
        case $(readlink "$proc/exe" 2>/dev/null) in */wineserver*) ;; *) continue ;; esac
        [ "$(basename "$(readlink "$proc/cwd" 2>/dev/null)")" = "$server_dir" ] || continue
        pid=${proc#/proc/}
        where=$(ip netns identify "$pid" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')
        case " $where " in *" $name-a "*) continue ;; esac
        die 4 "the Wine prefix $wineprefix is already served by wineserver $pid outside $name-a" \
            "(in ${where:-the machine's own network namespace}): a Wine program started with it" \
            "would reach the network from there. Stop that server (WINEPREFIX=$wineprefix" \
            "$WINESERVER -k) or use a fresh prefix. (simlan.sh winecheck)"
    done
}

cmd_exec() {
    [ $# -ge 3 ] && [ "$2" = "--" ] || usage
    name=$1
    shift 2
    cmd_check "$name"
    cmd_winecheck "$name" "${WINEPREFIX:-${HOME:-/root}/.wine}"
    # Set only here, after both checks passed.
    export RIVELO_SIMULATED_LAN="$token"
    # Remember the Wine prefix so that down can stop its wineserver.
    [ -z "${WINEPREFIX:-}" ] || grep -qxF "$WINEPREFIX" "$STATE_DIR/$name/wineprefixes" 2>/dev/null ||
        echo "$WINEPREFIX" >> "$STATE_DIR/$name/wineprefixes"
    exec ip netns exec "$name-a" "$@"
}

# Ends every process in namespace NS (ours by construction): SIGTERM, and
# SIGKILL to what is left after 2 s.
empty_netns() {
    netns_exists "$1" || return 0
    for sig in TERM KILL; do
        pids=$(ip netns pids "$1" 2>/dev/null || true)
        [ -n "$pids" ] || return 0
        kill "-$sig" $pids 2>/dev/null || true
        for _ in $(seq 20); do
            [ -z "$(ip netns pids "$1" 2>/dev/null || true)" ] && return 0
            sleep 0.1
        done
    done
}

cmd_down() {
    [ $# -ge 1 ] || usage
    name=$1
    shift
    valid_name "$name"
    need_root
    # Only what up made is ever removed: a name without our record belongs to
    # somebody else (or is already gone).
    [ -d "$STATE_DIR/$name" ] || return 0
    # Once started, removal runs to its end: an interrupted down would leave
    # half a LAN behind.
    trap '' INT TERM
    a=$name-a b=$name-b
    for p in "$@" $(cat "$STATE_DIR/$name/wineprefixes" 2>/dev/null || true); do
        [ -d "$p" ] || continue
        # -k only signals a running server; it never starts one.
        WINEPREFIX=$p timeout 15 "$WINESERVER" -k >/dev/null 2>&1 || true
        WINEPREFIX=$p timeout 15 "$WINESERVER" -w >/dev/null 2>&1 || true
    done
    empty_netns "$a"
    empty_netns "$b"
    for end in "$a" "$b"; do
        if netns_exists "$end"; then ip netns del "$end"; fi
        # A half-made LAN may have left the veth pair in this namespace.
        if link_exists "$end"; then ip link del "$end"; fi
    done
    rm -rf "/etc/netns/$a"
    if [ -r "$STATE_DIR/$name/prefix" ]; then
        rmdir "$STATE_DIR/net-$(cat "$STATE_DIR/$name/prefix")" 2>/dev/null || true
    fi
    rm -rf "${STATE_DIR:?}/$name"
}

cmd_list() {
    [ -d "$STATE_DIR" ] || return 0
    for d in "$STATE_DIR"/*; do
        [ -d "$d" ] && [ -r "$d/prefix" ] && basename "$d"
    done
    return 0
}

[ $# -ge 1 ] || usage
command=$1
shift
case $command in
    pick) cmd_pick "$@" ;;
    up) cmd_up "$@" ;;
    check) cmd_check "$@" ;;
    winecheck) cmd_winecheck "$@" ;;
    exec) cmd_exec "$@" ;;
    down) cmd_down "$@" ;;
    list) cmd_list ;;
    *) usage ;;
esac
