"""Test card applications without a reader: start the project's simulator, varrok-sim.

    from varrok.testing import Simulator
    with Simulator({"cards": [{"kind": "classic1k", "uid": "11223344"}]}) as sim:
        with varrok.open(sim.open_text) as reader: ...

Also a pytest plugin (installed with the package): the fixture `varrok_sim` yields a
running Simulator for the scenario of the fixture `varrok_scenario`, which a test
module or conftest.py overrides. The simulator program is $VARROK_SIM, else
varrok-sim beside the library or in the build tree, else on PATH.
"""

from __future__ import annotations

import collections
import json
import os
import queue
import re
import shutil
import subprocess
import tempfile
import threading
from pathlib import Path
from typing import Iterator, NamedTuple, Optional, Union

_LISTING = re.compile(r"(\d+)  (on reader|on desk) +(.*)")
_START_TIMEOUT = 10.0
_HAND_TIMEOUT = 5.0

Scenario = Union[dict, str, os.PathLike, None]


class SimulatedCard(NamedTuple):
    """A card of the scenario: its number for take/put/only, where it lies, what it is."""

    number: int
    on_reader: bool
    description: str


def find_simulator() -> str:
    """The varrok-sim program to run; raises FileNotFoundError naming where it looked."""
    places = []
    if os.environ.get("VARROK_SIM"):
        places.append(Path(os.environ["VARROK_SIM"]))
    library = os.environ.get("VARROK_LIBRARY")
    if library:
        folder = Path(library) if Path(library).is_dir() else Path(library).parent
        places += [folder / "varrok-sim", folder.parent / "simulator" / "varrok-sim"]
    for place in places:
        if place.is_file() and os.access(place, os.X_OK):
            return str(place)
    found = shutil.which("varrok-sim")
    if found:
        return found
    raise FileNotFoundError("varrok-sim not found; set VARROK_SIM. Looked in: "
                            + ", ".join(map(str, places + [Path("$PATH")])))


class Simulator:
    """A running varrok-sim on 127.0.0.1, with a hand that moves cards on and off its field.

    `scenario` is a dict in the scenario file format (simulator/SCENARIOS.md), a file
    name, or None for an empty field. `fault` makes every answer misbehave and
    `fault_once` only the first: "silent", "late=MS", "cut=N", "checksum",
    "flood[=N]" or "close[=N]"."""

    def __init__(self, scenario: Scenario = None, *, fault: Optional[str] = None,
                 fault_once: Optional[str] = None, verbose: bool = False,
                 program: Optional[str] = None) -> None:
        self.program = program or find_simulator()
        self.verbose = verbose
        self.fault, self.fault_once = fault, fault_once
        self.port = 0
        self.log: collections.deque[str] = collections.deque(maxlen=2000)  # the simulator's stderr
        self._folder = tempfile.TemporaryDirectory(prefix="varrok-sim-")
        if isinstance(scenario, dict):
            self._scenario_file: Optional[str] = os.path.join(self._folder.name, "scenario.json")
            Path(self._scenario_file).write_text(json.dumps(scenario))
            self._count = len(scenario.get("cards", []))
        elif scenario is not None:
            self._scenario_file = os.fspath(scenario)
            self._count = len(json.loads(Path(self._scenario_file).read_text()).get("cards", []))
        else:
            self._scenario_file, self._count = None, 0
        self._process: Optional[subprocess.Popen] = None
        self._listings: queue.Queue[str] = queue.Queue()
        self._cards: list[SimulatedCard] = []

    @property
    def open_text(self) -> str:
        """What varrok.open() takes to reach this simulator."""
        return f"TCP://127.0.0.1:{self.port}"

    def start(self) -> "Simulator":
        """Starts the simulator and waits until it serves (at most 10 s)."""
        command = [self.program, "--tcp", str(self.port), "--hand"]
        if self._scenario_file:
            command += ["--scenario", self._scenario_file]
        if self.fault:
            command += ["--fault", self.fault]
        if self.fault_once:
            command += ["--fault-once", self.fault_once]
        if self.verbose:
            command.append("--verbose")
        self._listings = queue.Queue()
        self._process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True)
        first = queue.Queue()
        threading.Thread(target=lambda: first.put(self._process.stdout.readline()), daemon=True).start()
        drain = threading.Thread(target=self._drain, args=(self._process.stderr,), daemon=True)
        drain.start()
        try:
            line = first.get(timeout=_START_TIMEOUT)
        except queue.Empty:
            line = ""
        match = re.fullmatch(r"tcp 127\.0\.0\.1:(\d+)\s*", line)
        if not match:
            self.stop()
            drain.join(2)  # for the simulator's last words
            raise RuntimeError(f"varrok-sim did not start: {line.strip()} {' '.join(self.log)}")
        self.port = int(match[1])
        self._cards = self._listing()
        return self

    def stop(self) -> None:
        """Stops the simulator (SIGTERM, then SIGKILL after 5 s)."""
        if self._process is not None:
            self._process.terminate()
            try:
                self._process.wait(5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
            for stream in (self._process.stdin, self._process.stdout):
                stream.close()
            self._process = None

    def restart(self, *, fault: Optional[str] = None, fault_once: Optional[str] = None) -> None:
        """Restarts on the same port with other faults (None: a sound reader).

        Cards go back to their scenario memory and lie where the hand last put them.
        Readers opened before lost their connection: open them again."""
        away = [card.number for card in self._cards if not card.on_reader]
        self.stop()
        self.fault, self.fault_once = fault, fault_once
        self.start()
        for number in away:
            self.take(number)

    def __enter__(self) -> "Simulator":
        return self.start()

    def __exit__(self, *exc: object) -> None:
        self.stop()
        self._folder.cleanup()

    def cards(self) -> list[SimulatedCard]:
        """The scenario's cards and where they lie now."""
        return self._hand("cards")

    def take(self, number: int) -> list[SimulatedCard]:
        """Takes card `number` (from 1, in scenario order) off the reader."""
        return self._hand(f"take {self._number(number)}")

    def put(self, number: int) -> list[SimulatedCard]:
        """Puts card `number` back on the reader."""
        return self._hand(f"put {self._number(number)}")

    def only(self, number: int) -> list[SimulatedCard]:
        """Leaves card `number` alone on the reader."""
        return self._hand(f"only {self._number(number)}")

    def all(self) -> list[SimulatedCard]:
        """Puts every card on the reader."""
        return self._hand("all")

    def _number(self, number: int) -> int:
        if not 1 <= number <= self._count:
            raise ValueError(f"the scenario has cards 1 to {self._count}")
        return number

    def _hand(self, command: str) -> list[SimulatedCard]:
        if self._process is None:
            raise RuntimeError("the simulator is not running")
        if self._count:
            self._process.stdin.write(command + "\n")
            self._process.stdin.flush()
            self._cards = self._listing()
        return list(self._cards)

    def _listing(self) -> list[SimulatedCard]:
        """The listing the hand prints after each command: one line per card."""
        cards = []
        try:
            while len(cards) < self._count:
                match = _LISTING.fullmatch(self._listings.get(timeout=_HAND_TIMEOUT))
                cards.append(SimulatedCard(int(match[1]), match[2] == "on reader", match[3]))
        except queue.Empty:
            raise RuntimeError("the simulator's hand did not answer") from None
        return cards

    def _drain(self, stream) -> None:
        for line in stream:
            line = line.rstrip("\n")
            self.log.append(line)
            if _LISTING.fullmatch(line):
                self._listings.put(line)
        stream.close()


try:
    import pytest
except ImportError:  # the plugin needs pytest; the rest of the module does not
    pytest = None

if pytest is not None:

    @pytest.fixture
    def varrok_scenario() -> Scenario:
        """The scenario varrok_sim starts with: override it in a test module or conftest.py."""
        return {"cards": [{"kind": "classic1k", "uid": "11223344"}]}

    @pytest.fixture
    def varrok_sim(varrok_scenario: Scenario) -> Iterator[Simulator]:
        """A running simulator with the cards of `varrok_scenario`, stopped after the test."""
        with Simulator(varrok_scenario) as simulator:
            yield simulator


__all__ = ["Simulator", "SimulatedCard", "find_simulator"]
