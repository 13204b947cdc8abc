"""Threads: one reader shared in turns, and readers of their own side by side."""

import os
import subprocess
import sys
import threading

import varrok
from varrok.testing import Simulator


def run_in_threads(work, count):
    failures = []

    def guarded(n):
        try:
            work(n)
        except Exception as error:  # reported below, with the thread's number
            failures.append((n, error))

    threads = [threading.Thread(target=guarded, args=(n,)) for n in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(30)
    assert failures == []


def test_shared_reader_and_own_readers():
    cards = [{"kind": "classic1k", "uid": f"1122334{n}", "blocks": {"4": f"{n:02X}" * 16}} for n in range(2)]
    with Simulator({"cards": cards[:1]}) as first, Simulator({"cards": cards[1:]}) as second:
        shared = varrok.open(first.open_text)

        def conversation(n):
            for _ in range(20):
                with shared.turn():
                    card = shared.find(varrok.ClassicCard)
                    card.authenticate(4)
                    assert card.read_block(4) == bytes(16)

        run_in_threads(conversation, 4)
        shared.close()

        def own_reader(n):
            with varrok.open((first, second)[n].open_text) as reader:
                for _ in range(20):
                    card = reader.find(varrok.ClassicCard)
                    card.authenticate(4)
                    assert card.read_block(4) == bytes([n]) * 16

        run_in_threads(own_reader, 2)


def test_missing_library_says_where_it_looked():
    env = dict(os.environ, VARROK_LIBRARY="/nonexistent/libVarrok.so")
    result = subprocess.run([sys.executable, "-c", "import varrok; varrok.library_version()"],
                            env=env, capture_output=True, text=True)
    assert result.returncode != 0 and "VarrokError" in result.stderr and "/nonexistent/libVarrok.so" in result.stderr
