#!/usr/bin/env sh
# Builds or removes a small private network around the calling namespace, as root, for tests
# that need other hosts. Namespaces are named after TAG, so that runs side by side do not meet.
#   lan.sh up TAG dropped  one peer, 10.77.1.2/24, whose nftables input drops every broadcast
#   lan.sh up TAG routed   one peer, 10.77.3.2/24, behind a router namespace from 10.77.2.0/24
#   lan.sh down TAG        removes the namespaces (their veth ends go with them)
set -eu
action=$1
tag=$2
peer=${tag}p
router=${tag}r

case $action in
up)
    ip netns add "$peer"
    ip -n "$peer" link set lo up
    case $3 in
    dropped)
        ip link add "${tag}a" type veth peer name eth0 netns "$peer"
        ip addr add 10.77.1.1/24 dev "${tag}a"
        ip link set "${tag}a" up
        ip -n "$peer" addr add 10.77.1.2/24 dev eth0
        ip -n "$peer" link set eth0 up
        ip netns exec "$peer" nft -f - <<'NFT'
table inet lan {
    chain input {
        type filter hook input priority filter; policy accept;
        meta pkttype broadcast drop
    }
}
NFT
        ;;
    routed)
        ip netns add "$router"
        ip link add "${tag}a" type veth peer name left netns "$router"
        ip addr add 10.77.2.1/24 dev "${tag}a"
        ip link set "${tag}a" up
        ip route add 10.77.3.0/24 via 10.77.2.254
        ip -n "$router" link add right type veth peer name eth0 netns "$peer"
        ip -n "$router" addr add 10.77.2.254/24 dev left
        ip -n "$router" addr add 10.77.3.254/24 dev right
        ip -n "$router" link set left up
        ip -n "$router" link set right up
        ip netns exec "$router" sysctl -qw net.ipv4.ip_forward=1
        ip -n "$peer" addr add 10.77.3.2/24 dev eth0
        ip -n "$peer" link set eth0 up
        ip -n "$peer" route add default via 10.77.3.254
        ;;
    esac
    ;;
down)
    ip netns del "$peer" 2>/dev/null || true
    ip netns del "$router" 2>/dev/null || true
    ;;
esac
