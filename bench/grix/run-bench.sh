#!/usr/bin/env bash
# Runs the graph library benchmarks, each phase in its own process, and the same plain-text
# import with Python's networkx as a reference. Prints wall time, CPU time and peak memory.
# Usage: bench/grix/run-bench.sh [build dir]   (default: build/, or $BUILD_DIR)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-${BUILD_DIR:-$top/build}}
bench=$build/bin/bench_grix
[ -x "$bench" ] || { echo "Build bench_grix first (cmake --build $build --target bench_grix)"; exit 1; }

echo "Installing the reference tool (python3-networkx) when missing"
if ! dpkg-query -W -f='${Status}' python3-networkx 2>/dev/null | grep -q 'install ok installed'; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends python3-networkx >/dev/null
fi

# Debian's interpreter, so the reference is the Debian package even where another Python with its
# own networkx comes first on PATH.
py=${PYTHON:-/usr/bin/python3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== .graph file: 100,000 nodes, 300,000 edges, two user properties on each =="
"$bench" save "$work/big.graph"
"$bench" load "$work/big.graph"

echo "== script: 1,000 nodes, 10,000 edges =="
"$bench" script 1000 10000
"$bench" stop

echo "== plain-text import: 100,000 node lines and 1,000,000 edge lines =="
$py - "$work/edges.txt" <<'PY'
import random, sys
rng = random.Random(42)
nodes, edges = 100_000, 1_000_000
with open(sys.argv[1], "w") as f:
    for i in range(nodes):
        f.write(f"n{i}\n")
    made = 0
    while made < edges:
        a, b = rng.randrange(nodes), rng.randrange(nodes)
        if a != b:
            f.write(f"n{a} n{b}\n")
            made += 1
PY
"$bench" import "$work/edges.txt"
$py - "$work/edges.txt" <<'PY'
import resource, sys, time
import networkx as nx
start, cpu = time.perf_counter(), time.process_time()
g = nx.read_adjlist(sys.argv[1])
wall, cpu = time.perf_counter() - start, time.process_time() - cpu
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
print(f"{'networkx read_adjlist':<28} wall {wall:8.3f} s  cpu {cpu:8.3f} s  peak RSS {peak:7.1f} MiB "
      f"({g.number_of_nodes()} nodes, {g.number_of_edges()} edges, networkx {nx.__version__})")
PY

echo "== complete-graph tool on 1,000 nodes =="
"$bench" complete 1000
$py - <<'PY'
import resource, time
import networkx as nx
start, cpu = time.perf_counter(), time.process_time()
g = nx.complete_graph(1000)
wall, cpu = time.perf_counter() - start, time.process_time() - cpu
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
print(f"{'networkx complete_graph':<28} wall {wall:8.3f} s  cpu {cpu:8.3f} s  peak RSS {peak:7.1f} MiB "
      f"({g.number_of_nodes()} nodes, {g.number_of_edges()} edges)")
PY
