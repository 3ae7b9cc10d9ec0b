#!/usr/bin/env bash
# Web sharing throughput on loopback, all in one run:
#   download of a 1 GiB shared file with curl from Orvex's web server and from nginx;
#   upload of the same file with curl to "/file" (one multipart request) and through the
#   chunked "/hugefile" protocol (8 MiB chunks, each after the previous answer, as the page
#   does), against a plain dd of the same bytes into the same folder.
# Prints MB/s (10^6 bytes per second) for each and the ratios.
#
# Usage: bench/web_transfer.sh [build-dir]   (a Release build is best; default: build)
# Needs curl and nginx (Debian packages curl, nginx); installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source ./cmake/packages.sh
source bench/webbench.sh
install_missing curl nginx python3
web_bench_setup "${1:-build}" web-bench
mkdir -p "$work/nginx"

size=$((${ORVEX_BENCH_MIB:-1024} * 1024 * 1024))
chunk=$((8 * 1024 * 1024))
runs=${ORVEX_BENCH_RUNS:-5}
nginx_pid=
bench_cleanup_more()
{
    [ -n "$nginx_pid" ] && { kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null || true; }
}

echo "Preparing a file of $((size / 1024 / 1024)) MiB in $work ..."
head -c "$size" /dev/urandom > "$work/share/big.bin"
# nginx's worker runs as an unprivileged user.
chmod 755 "$work" "$work/share"
chmod 644 "$work/share/big.bin"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Orvex's web server, sharing the file. Every request carries the key of the share or of the
# receive session, as a browser does.
start_web_server "$work/share/big.bin"
orvex_port=$port

# nginx with a minimal configuration of its own, serving the same folder.
nginx_port=$(free_port)
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server { listen 127.0.0.1:$nginx_port; root $work/share; }
}
CONF
# Without the server's input pipe, or the server would never see it close.
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 3>&- &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/" && break; sleep 0.1; done


download_time()
{
    curl -s -f -o /dev/null -w '%{time_total}\n' "$1" || { echo "download of $1 failed" >&2; exit 1; }
}

echo "Downloading ($runs runs each, best kept) ..."
orvex_dl=$(for _ in $(seq "$runs"); do download_time "http://127.0.0.1:$orvex_port/download/big.bin?key=$share_key"; done | best)
nginx_dl=$(for _ in $(seq "$runs"); do download_time "http://127.0.0.1:$nginx_port/big.bin"; done | best)

# The exact bytes: one more download from each, compared with the file.
curl -s -f "http://127.0.0.1:$orvex_port/download/big.bin?key=$share_key" | cmp - "$work/share/big.bin"

single_upload_time()
{
    rm -f "$work/in/"*
    sync
    local t
    t=$(curl -s -f -o "$work/answer.json" -w '%{time_total}\n' \
        -b "orvex_receive=$receive_key" -F action=show -F filename=up.bin -F "data=@$work/share/big.bin;filename=up.bin" \
        "http://127.0.0.1:$orvex_port/file")
    grep -q '"ok":true' "$work/answer.json" || { cat "$work/answer.json" >&2; exit 1; }
    echo "$t"
}

# The chunks are cut beforehand, as a browser has the file at hand; one curl sends all the
# requests in order over one keep-alive connection, each after the previous answer, like the page.
prepare_chunks()
{
    mkdir -p "$work/chunks"
    split -b "$chunk" -d -a 5 "$work/share/big.bin" "$work/chunks/part."
    local url="http://127.0.0.1:$orvex_port/hugefile" i=0 part
    {
        printf 'url = "%s"\ncookie = "orvex_receive=%s"\nform = "action=show"\nform = "begin=begin"\n' \
            "$url" "$receive_key"
        printf 'output = "%s"\n' "$work/answers/begin"
        for part in "$work/chunks/"part.*; do
            # Each chunk as the request's body with the fields in the query, as the page sends it.
            printf 'next\nurl = "%s?action=show&filename=up.bin&index=%d"\ncookie = "orvex_receive=%s"\n' \
                "$url" "$i" "$receive_key"
            printf 'header = "Content-Type: application/octet-stream"\nrequest = "POST"\nupload-file = "%s"\n' "$part"
            printf 'output = "%s"\n' "$work/answers/chunk$i"
            i=$((i + 1))
        done
        printf 'next\nurl = "%s"\ncookie = "orvex_receive=%s"\n' "$url" "$receive_key"
        printf 'form = "action=show"\nform = "finish=finish"\n'
        printf 'form = "filename=up.bin"\noutput = "%s"\n' "$work/answers/finish"
    } > "$work/chunked.curl"
}

# In turns, so that each kind meets the machine in the same states; every upload is compared.
echo "Uploading ($runs rounds of /file, /hugefile and dd in turns, best of each kept) ..."
prepare_chunks
single_times=
chunked_times=
dd_times=
for _ in $(seq "$runs"); do
    single_times+="$(single_upload_time)"$'\n'
    cmp "$work/in/up.bin" "$work/share/big.bin"
    chunked_times+="$(curl_upload_time "$work/chunked.curl")"$'\n'
    cmp "$work/in/up.bin" "$work/share/big.bin"
    dd_times+="$(dd_time "$work/share/big.bin")"$'\n'
done
single_up=$(printf '%s' "$single_times" | best)
chunked_up=$(printf '%s' "$chunked_times" | best)
plain_dd=$(printf '%s' "$dd_times" | best)

echo
printf '%-44s %8s MB/s\n' "download, Orvex web server (curl)" "$(mbps "$size" "$orvex_dl")"
printf '%-44s %8s MB/s\n' "download, nginx $(nginx -v 2>&1 | sed 's/.*\///') (curl)" "$(mbps "$size" "$nginx_dl")"
printf '%-44s %8s\n' "  ratio Orvex / nginx" "$(ratio "$orvex_dl" "$nginx_dl")"
printf '%-44s %8s MB/s\n' "upload, one request to /file (curl)" "$(mbps "$size" "$single_up")"
printf '%-44s %8s MB/s\n' "upload, 8 MiB chunks to /hugefile (curl)" "$(mbps "$size" "$chunked_up")"
printf '%-44s %8s MB/s\n' "plain dd of the same bytes, same folder" "$(mbps "$size" "$plain_dd")"
printf '%-44s %8s\n' "  ratio /file / dd" "$(ratio "$single_up" "$plain_dd")"
printf '%-44s %8s\n' "  ratio /hugefile / dd" "$(ratio "$chunked_up" "$plain_dd")"
