#!/usr/bin/env bash
# The wall time of COUNT five-second files through `submit --wait --max-parallel 4` with one file
# per element, then with the files packed as submit chooses, beside `convert --jobs 2` on the
# same files, on a one-machine Slurm this script starts in a temporary folder (its own munge
# key and daemon, a controller and a node daemon on free ports; run as root) and stops again.
# Usage: bench/slurm_packing.sh [BUILD_DIR [COUNT]]   (default: build 200)
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=bench/bench_lib.sh
source "$here/bench_lib.sh"

build=${1:-build}
count=${2:-200}
cli=$(realpath "$build/app/tarnwick-cli")
entry="MP4 - MPEG4 Video (*.mp4)"
require_built "$cli"
require_peers ffmpeg munged slurmctld slurmd sbatch

dir=$(mktemp -d /tmp/tarnwick-bench-slurm-XXXXXX)
chmod 755 "$dir"
pids=()
stop() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$dir"
}
trap stop EXIT
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

mkdir -p "$dir/state" "$dir/spool" "$dir/in" "$dir/alone" "$dir/single" "$dir/packed"
head -c 1024 /dev/urandom > "$dir/munge.key"
chmod 400 "$dir/munge.key"
export MUNGE_SOCKET=$dir/munge.socket SLURM_CONF=$dir/slurm.conf
munged --foreground --force --key-file="$dir/munge.key" --socket="$MUNGE_SOCKET" \
  --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munged.seed" &
pids+=($!)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.9) }' /proc/meminfo)
cat > "$SLURM_CONF" << EOF
ClusterName=tarnwickbench
SlurmctldHost=localhost
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$MUNGE_SOCKET
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 NodeHostname=$(hostname) CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=batch Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
for _ in $(seq 50); do [ -S "$MUNGE_SOCKET" ] && break; sleep 0.2; done
slurmctld -D -i -f "$SLURM_CONF" &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N localhost &
pids+=($!)
for _ in $(seq 150); do [ "$(sinfo --noheader --format=%T 2> /dev/null)" = idle ] && break; sleep 0.2; done

echo "bench: generating $count five-second files" >&2
ff -f lavfi -i "testsrc=size=320x240:rate=25:duration=5" -f lavfi \
  -i "sine=frequency=440:sample_rate=44100:duration=5" -c:v libx264 -preset ultrafast \
  -pix_fmt yuv420p -c:a aac "$dir/clip.mov"
files=()
for i in $(seq -w "$count"); do
  cp "$dir/clip.mov" "$dir/in/clip$i.mov"
  files+=("$dir/in/clip$i.mov")
done

alone=$(wall_seconds "$dir/alone.log" "$cli" convert "$entry" "${files[@]}" --output "$dir/alone" --jobs 2)
single=$(wall_seconds "$dir/single.log" "$cli" submit "$entry" "${files[@]}" --output "$dir/single" \
  --max-parallel 4 --files-per-element 1 --wait)
packed=$(wall_seconds "$dir/packed.log" "$cli" submit "$entry" "${files[@]}" --output "$dir/packed" \
  --max-parallel 4 --wait)
per_element=$(cat "$dir"/packed/tarnwick-job-*/files-per-element)
done_rows() { grep -c "	Done	" "$1" || true; }

printf '%-44s %9s %6s\n' "$count files of 5 s" "wall (s)" "Done"
printf '%-44s %9s %6s\n' "convert --jobs 2" "$alone" "$(done_rows "$dir/alone.log")"
printf '%-44s %9s %6s\n' "submit --max-parallel 4, 1 file per element" "$single" \
  "$(done_rows "$dir/single.log")"
printf '%-44s %9s %6s\n' "submit --max-parallel 4, $per_element files per element" "$packed" \
  "$(done_rows "$dir/packed.log")"
