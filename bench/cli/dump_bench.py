#!/usr/bin/env python3
"""A whole MIFARE Classic 1K dump with the transport key through `varrok`, over
the simulator's pseudo-terminal as COM1 at 115200 bit/s.

Prints the time the dump's bytes take on the wire at 115200 bit/s (10 bits a
byte, both directions, counted from the frame trace of one run), the host's
wall time of the whole command (best of the runs), and the tool's own CPU time
(user + system of the varrok process), which is what the tool adds on top of
the line: a real reader's line carries the bytes at the wire rate while the
tool waits.

    bench/cli/dump_bench.py [BUILD_DIR] [RUNS]      (default build, 5)
"""
import os
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
tool = os.path.join(build, "bin", "varrok")
simulator = os.path.join(build, "simulator", "varrok-sim")

with tempfile.TemporaryDirectory() as scratch:
    scenario = os.path.join(scratch, "card.json")
    with open(scenario, "w") as f:
        f.write('{"cards": [{"kind": "classic1k", "uid": "11223344"}]}')
    sim = subprocess.Popen([simulator, "--pty", "--scenario", scenario], stdout=subprocess.PIPE, text=True)
    try:
        pty = sim.stdout.readline().split()[1]
        env = dict(os.environ, VARROK_COM1=pty)
        env.pop("VARROK_TRACE", None)
        command = [tool, "-r", "COM1:115200", "mfc", "dump", os.path.join(scratch, "card.bin")]

        trace = os.path.join(scratch, "trace.txt")
        subprocess.run(command + ["--trace", trace], env=env, check=True, stdout=subprocess.DEVNULL)
        wire_bytes = 0
        frames = 0
        with open(trace) as f:
            for line in f:
                wire_bytes += len(line.split("|", 1)[1].split())
                frames += 1
        wire = wire_bytes * 10 / 115200

        best_wall = best_cpu = float("inf")
        for _ in range(runs):
            start = time.perf_counter()
            child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL)
            _, status, usage = os.wait4(child.pid, 0)
            wall = time.perf_counter() - start
            if status != 0:
                sys.exit("the dump failed")
            best_wall = min(best_wall, wall)
            best_cpu = min(best_cpu, usage.ru_utime + usage.ru_stime)
    finally:
        sim.terminate()
        sim.wait()

print(f"MIFARE Classic 1K dump over the pseudo-terminal as COM1:115200 ({frames} frames, {wire_bytes} bytes)")
print(f"  on the wire at 115200 bit/s   {wire * 1000:8.1f} ms")
print(f"  host wall time (best of {runs})    {best_wall * 1000:8.1f} ms")
print(f"  the tool's own CPU time       {best_cpu * 1000:8.1f} ms  ({100 * best_cpu / wire:.1f}% of the wire time)")
