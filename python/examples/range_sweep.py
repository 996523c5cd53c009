#!/usr/bin/env python3
"""Sweeps the current range and logs the six flags at each step, as a PyMeasure procedure whose
results go to a CSV file.

    range_sweep.py TCPIP::bench-pc::5025::SOCKET sweep.csv [--force CURR]
"""

import argparse
import logging

from pymeasure.experiment import (IntegerParameter, ListParameter, Parameter, Procedure, Results,
                                  Worker)

from vx3340 import FLAG_NAMES, SELECTIONS, VX3340

log = logging.getLogger(__name__)


class RangeSweep(Procedure):
    resource = Parameter("VISA resource", default="TCPIP::127.0.0.1::5025::SOCKET")
    force = ListParameter("Force", choices=list(SELECTIONS["force"][1]), default="VOLT")
    reads = IntegerParameter("Reads per range", minimum=1, maximum=1000, default=1)

    DATA_COLUMNS = ["Range", *FLAG_NAMES]

    def startup(self):
        self.board = VX3340(self.resource)
        self.board.force = self.force

    def execute(self):
        ranges = SELECTIONS["range"][1]
        for step, value in enumerate(ranges):
            self.board.range = value
            for _ in range(self.reads):
                self.emit("results", {"Range": value, **self.board.flags})
            self.emit("progress", 100 * (step + 1) / len(ranges))
            if self.should_stop():
                break

    def shutdown(self):
        if hasattr(self, "board"):
            self.board.adapter.connection.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("resource")
    parser.add_argument("csv")
    parser.add_argument("--force", default="VOLT", choices=SELECTIONS["force"][1])
    args = parser.parse_args()
    procedure = RangeSweep()
    procedure.resource, procedure.force = args.resource, args.force
    worker = Worker(Results(procedure, args.csv))
    worker.start()
    worker.join(timeout=60)


if __name__ == "__main__":
    main()
