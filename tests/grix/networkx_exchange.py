#!/usr/bin/python3
"""Helper of tst_graphexchange: writes graphs with networkx and describes what networkx reads.

  networkx_exchange.py write DIR              writes every graph of GRAPHS as DIR/NAME.graphml and
                                              DIR/NAME.edgelist
  networkx_exchange.py describe FORMAT FILE   reads FILE (graphml or edgelist) with networkx and
                                              prints one line per node, edge and degree, sorted
"""
import random
import sys

import networkx as nx


def random_graph(directed):
    g = nx.gnm_random_graph(10_000, 30_000, seed=7, directed=directed)
    rng = random.Random(7)
    for n in g.nodes:
        g.nodes[n]["group"] = rng.choice(["red", "green", "blue"])
    for u, v in g.edges:
        g.edges[u, v]["weight"] = rng.random()
        g.edges[u, v]["hops"] = rng.randrange(1, 9)
    return g


GRAPHS = {
    "karate": nx.karate_club_graph,
    "lesmis": nx.les_miserables_graph,
    "florentine": nx.florentine_families_graph,
    "davis": nx.davis_southern_women_graph,
    "random": lambda: random_graph(False),
    "random_directed": lambda: random_graph(True),
}


def typed(value):
    if isinstance(value, bool):
        return f"b:{value}"
    if isinstance(value, int):
        return f"i:{value}"
    if isinstance(value, float):
        return f"f:{value!r}"
    return f"s:{value}"


def attributes(data):
    return "{" + ",".join(f"{k}={typed(v)}" for k, v in sorted(data.items())) + "}"


def describe(g):
    lines = [f"N {n} {attributes(d)}" for n, d in g.nodes(data=True)]
    for u, v, d in g.edges(data=True):
        u, v = str(u), str(v)
        if not g.is_directed() and v < u:
            u, v = v, u
        lines.append(f"E {u} {v} {attributes(d)}")
    lines += [f"D {n} {k}" for n, k in g.degree()]
    return sorted(lines)


def main():
    if sys.argv[1] == "write":
        for name, make in GRAPHS.items():
            g = make()
            # GraphML holds no lists (davis keeps its two node sets as graph attributes).
            g.graph = {k: v for k, v in g.graph.items() if isinstance(v, (str, int, float, bool))}
            nx.write_graphml(g, f"{sys.argv[2]}/{name}.graphml")
            if not g.is_directed():
                # Edge lists cannot hold names with blanks (davis has "Evelyn Jefferson").
                g = nx.relabel_nodes(g, {n: str(n).replace(" ", "_") for n in g.nodes})
                nx.write_edgelist(g, f"{sys.argv[2]}/{name}.edgelist", data=True)
    else:
        fmt, path = sys.argv[2], sys.argv[3]
        g = nx.read_graphml(path) if fmt == "graphml" else nx.read_edgelist(path, nodetype=str, data=True)
        print("\n".join(describe(g)))


if __name__ == "__main__":
    main()
