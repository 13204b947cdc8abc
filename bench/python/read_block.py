#!/usr/bin/env python3
"""One 16-byte MIFARE Classic block read from Python and from C against one simulator.

    VARROK_LIBRARY=build/bin VARROK_SIM=build/simulator/varrok-sim PYTHONPATH=python \
        python3 bench/python/read_block.py [--count N] [--rounds R] [--c build/bench/read_block_c]

Rounds alternate between the two sides so that a busy machine weighs on both;
each side's best round is compared.
"""

import argparse
import os
import subprocess
import time

import varrok
from varrok.testing import Simulator

BLOCK = 4


def python_round(open_text: str, count: int) -> float:
    with varrok.open(open_text) as reader:
        card = reader.find(varrok.ClassicCard)
        card.authenticate(BLOCK)
        start = time.perf_counter()
        for _ in range(count):
            card.read_block(BLOCK)
        return (time.perf_counter() - start) / count * 1e6


def c_round(program: str, open_text: str, count: int) -> float:
    out = subprocess.run([program, open_text, str(count)], check=True, capture_output=True, text=True).stdout
    return float(out.split()[1])


def main() -> None:
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=2000, help="reads per round")
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--c", default=os.path.join(here, "..", "..", "build", "bench", "read_block_c"))
    args = parser.parse_args()
    with Simulator({"cards": [{"kind": "classic1k", "uid": "11223344"}]}) as sim:
        python_times, c_times = [], []
        for _ in range(args.rounds):
            python_times.append(python_round(sim.open_text, args.count))
            c_times.append(c_round(args.c, sim.open_text, args.count))
    py, c = min(python_times), min(c_times)
    print(f"block read, {args.count} reads x {args.rounds} rounds, best round:")
    print(f"  Python  {py:8.2f} us")
    print(f"  C       {c:8.2f} us")
    print(f"  ratio   {py / c:8.3f}x (aim: at most 1.15x)")


if __name__ == "__main__":
    main()
