"""The VX3340 evaluation board as a PyMeasure instrument, over its SCPI session."""

from vx3340.board import FLAG_NAMES, SELECTIONS, VX3340

__all__ = ["VX3340", "SELECTIONS", "FLAG_NAMES"]
