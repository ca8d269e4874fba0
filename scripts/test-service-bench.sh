#!/usr/bin/env bash
# The service's benchmarks, with wrk on loopback, side by side in one run
# (measured and printed, never asserted):
#  1. /v1/solve at 50 keep-alive connections, beside Debian's nginx serving
#     a small static file on the same machine;
#  2. the same while 1,000 idle and 20 byte-a-second connections are open;
#  3. /v1/variants for 10,000 variants beside `zekalg sample -n 10000`.
# ZEKALG names the command (a release build is best); SECONDS_PER_RUN the
# length of each wrk run (default 15).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh wrk nginx-light curl
command -v node >/dev/null || bash scripts/deps.sh nodejs
zekalg="${ZEKALG:?ZEKALG must name the zekalg command}"
duration="${SECONDS_PER_RUN:-15}"

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { node -e 'const s=require("net").createServer().listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close()})'; }

algorithm='r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\nq_diff|b-a|0'
cat >"$work/solve.lua" <<LUA
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
wrk.body = [[{"algorithm":"$algorithm"}]]
LUA

service_port=$(free_port)
"$zekalg" serve --listen "127.0.0.1:$service_port" 2>"$work/service.log" &
pids+=($!)
nginx_port=$(free_port)
mkdir -p "$work/www"
printf '{"status":"ok"}\n' >"$work/www/health.json"
cat >"$work/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 4096; }
http {
  # Each request logged, as Debian's nginx does and as the service does.
  access_log $work/nginx-access.log;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server { listen 127.0.0.1:$nginx_port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" &
pids+=($!)
for _ in $(seq 50); do
  curl -fs "http://127.0.0.1:$service_port/v1/health" >/dev/null &&
    curl -fs "http://127.0.0.1:$nginx_port/health.json" >/dev/null && break
  sleep 0.1
done

# "requests/s p50 p99 timeouts" of one wrk run.
run_wrk() {
  wrk -t2 -c50 -d"${duration}s" --latency "$@" >"$work/wrk.txt"
  awk '
    function ms(v) { if (v ~ /us$/) return v/1000; if (v ~ /ms$/) return v+0; if (v ~ /s$/) return v*1000; return v }
    /Requests\/sec/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    /timeout/ { for (i = 1; i <= NF; ++i) if ($i == "timeout") t = $(i + 1) }
    /Non-2xx/ { bad = $NF }
    END { printf "%.0f %.3f %.3f %d %d\n", rps, p50, p99, t + 0, bad + 0 }' "$work/wrk.txt"
}

echo "== 1. /v1/solve at 50 connections beside nginx (${duration} s each)"
read -r nginx_rps nginx_p50 nginx_p99 nginx_to nginx_bad < <(run_wrk "http://127.0.0.1:$nginx_port/health.json")
read -r quiet_rps quiet_p50 quiet_p99 quiet_to quiet_bad < <(run_wrk -s "$work/solve.lua" "http://127.0.0.1:$service_port/v1/solve")
echo "nginx static file: $nginx_rps requests/s, p50 $nginx_p50 ms, p99 $nginx_p99 ms, $nginx_to timeouts"
echo "/v1/solve:         $quiet_rps requests/s, p50 $quiet_p50 ms, p99 $quiet_p99 ms, $quiet_to timeouts, $quiet_bad not 2xx"
awk -v a="$quiet_rps" -v b="$nginx_rps" 'BEGIN { printf "solve/nginx throughput: %.2f\n", a / b }'

echo "== 2. the same with 1000 idle and 20 byte-a-second connections open"
node tests/service/hold-connections.mjs "$service_port" 1000 20 $((duration + 8)) &
holder=$!
pids+=($holder)
sleep 4
read -r busy_rps busy_p50 busy_p99 busy_to busy_bad < <(run_wrk -s "$work/solve.lua" "http://127.0.0.1:$service_port/v1/solve")
wait "$holder" || true
echo "/v1/solve, held:   $busy_rps requests/s, p50 $busy_p50 ms, p99 $busy_p99 ms, $busy_to timeouts, $busy_bad not 2xx"
awk -v a="$busy_p99" -v b="$quiet_p99" 'BEGIN { printf "p99 held/quiet: %.2f\n", a / b }'

echo "== 3. /v1/variants for 10000 variants beside zekalg sample -n 10000"
file=examples/right_triangle.alg
body=$(node -e 'console.log(JSON.stringify({algorithm: require("fs").readFileSync(process.argv[1], "utf8"), count: 10000, seed: 1}))' "$file")
best_variants=0
best_sample=0
for _ in 1 2 3; do
  seconds=$(curl -s -o "$work/variants.json" -w '%{time_total}' -H 'Content-Type: application/json' \
    --data-binary "$body" "http://127.0.0.1:$service_port/v1/variants")
  rate=$(awk -v s="$seconds" 'BEGIN { printf "%.0f", 10000 / s }')
  ((rate > best_variants)) && best_variants=$rate
  rate=$("$zekalg" sample "$file" -n 10000 --seed 1 2>/dev/null | sed -n 's/.*, \([0-9]*\) per second.*/\1/p')
  ((rate > best_sample)) && best_sample=$rate
done
node -e 'const d=JSON.parse(require("fs").readFileSync(process.argv[1]));if(d.variants.length!==10000)process.exit(1)' "$work/variants.json"
echo "/v1/variants: $best_variants variants/s (whole answer received); zekalg sample: $best_sample variants/s (best of 3)"
awk -v a="$best_variants" -v b="$best_sample" 'BEGIN { printf "variants/sample: %.2f\n", a / b }'
