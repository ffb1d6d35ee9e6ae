#!/usr/bin/env bash
# Runs the graph library benchmarks, each phase in its own process, and the same work with
# Python's networkx in the same sitting: the 100,000-node/300,000-edge document saved and loaded
# (.graph and GraphML here, GraphML there), the plain-text import of 1,000,000 edges against
# read_adjlist, and the complete-graph tool on 1,000 nodes against complete_graph(1000).
# Prints wall time, CPU time and peak memory of each, then a table of the CPU and memory ratios.
# Usage: bench/grix/run-bench.sh [build dir]   (default: build/, or $BUILD_DIR)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-${BUILD_DIR:-$top/build}}
bench=$build/bin/bench_grix
[ -x "$bench" ] || { echo "Build bench_grix first (cmake --build $build --target bench_grix)"; exit 1; }

echo "Installing the reference tool (python3-networkx) when missing"
"$top/scripts/deps"

# Debian's interpreter, so the reference is the Debian package even where another Python with its
# own networkx comes first on PATH.
py=${PYTHON:-/usr/bin/python3}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/figures

# Runs networkx code ($2) timed, in its own process, and prints a line in bench_grix's layout.
# The code sees sys.argv[1:] as arguments and sets `result` to a short description.
reference() {
  local what=$1 code=$2; shift 2
  $py - "$@" <<PY
import resource, sys, time
import networkx as nx
start, cpu = time.perf_counter(), time.process_time()
$code
wall, cpu = time.perf_counter() - start, time.process_time() - cpu
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
print(f"{'$what':<28} wall {wall:8.3f} s  cpu {cpu:8.3f} s  peak RSS {peak:7.1f} MiB ({result}, networkx {nx.__version__})")
PY
}

{
echo "== document: 100,000 nodes, 300,000 edges, two user properties on each =="
"$bench" save "$work/big.graph"
"$bench" load "$work/big.graph"
"$bench" graphml-save "$work/big.graphml"
"$bench" graphml-load "$work/big.graphml"
reference "networkx read_graphml" 'g = nx.read_graphml(sys.argv[1]); result = f"{g.number_of_nodes()} nodes, {g.number_of_edges()} edges"' "$work/big.graphml"
reference "networkx write_graphml" 'g = nx.read_graphml(sys.argv[1]); start, cpu = time.perf_counter(), time.process_time(); nx.write_graphml(g, sys.argv[2]); result = "same graph"' "$work/big.graphml" "$work/nx.graphml"

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
"$bench" touch "$work/edges.txt"
reference "networkx read_adjlist" 'g = nx.read_adjlist(sys.argv[1]); result = f"{g.number_of_nodes()} nodes, {g.number_of_edges()} edges"' "$work/edges.txt"

echo "== complete-graph tool on 1,000 nodes =="
"$bench" complete 1000
reference "networkx complete_graph" 'g = nx.complete_graph(1000); result = f"{g.number_of_nodes()} nodes, {g.number_of_edges()} edges"'
} | tee "$log"

echo
echo "== ours against networkx, same sitting (CPU seconds, peak MiB) =="
awk '
  / wall .* cpu .* peak RSS / {
    name = substr($0, 1, 28); sub(/ +$/, "", name)
    rest = $0; sub(/.* cpu +/, "", rest); cpu[name] = rest + 0
    rest = $0; sub(/.* peak RSS +/, "", rest); mem[name] = rest + 0
  }
  function row(label, a, b) {
    if (!(a in cpu) || !(b in cpu)) return
    printf "%-34s %8.3f s %7.1f MiB | %-24s %8.3f s %7.1f MiB | networkx/ours CPU %5.2fx, memory ours/networkx %4.2fx\n",
      label, cpu[a], mem[a], b, cpu[b], mem[b], cpu[b] / cpu[a], mem[a] / mem[b]
  }
  END {
    row("plain-text import (1M edges)", "plain-text import", "networkx read_adjlist")
    row("complete-graph tool (1,000)", "complete-graph tool", "networkx complete_graph")
    row("save .graph (100k/300k)", "save .graph", "networkx write_graphml")
    row("save GraphML (100k/300k)", "save GraphML", "networkx write_graphml")
    row("load .graph (100k/300k)", "load .graph", "networkx read_graphml")
    row("load GraphML (100k/300k)", "load GraphML", "networkx read_graphml")
  }' "$log"
