"""The VX3340 evaluation board: each selection of its front panel is a PyMeasure control, and
its six status flags a measurement.

    from vx3340 import VX3340
    board = VX3340("TCPIP::bench-pc::5025::SOCKET")
    board.range = "4MA"
    board.force = "CURR"
    print(board.flags)    # {'CPOH': 0, 'CPOL': 1, ...}

Each control takes the values that its SCPI command takes and answers with, as `CONFigure:...?`
gives them. SELECTIONS is the board's table of selections as `vx3340ctl --list-selections`
prints it; the tests check it against the program.
"""

from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_discrete_set

# Attribute name: (SCPI node under CONFigure, values in the table's order).
SELECTIONS = {
    "range": ("RANGe", ("4UA", "40UA", "400UA", "4MA", "40MA", "160MA", "STANDBY")),
    "force": ("FORCe", ("VOLT", "CURR")),
    "comparator": ("COMParator", ("VOLT", "CURR")),
    "measure": ("MEASure", ("VM", "IM")),
    "capacitor": ("CAPacitor", ("0", "1", "2")),
    "standby": ("STANDby", ("OFF", "ON")),
}

FLAG_NAMES = ("CPOH", "CPOL", "CHL-DET", "CLL_DET", "QM4", "QM5")


def _answer(value):
    # PyMeasure reads "0" as the number 0.0: give the table's spelling back.
    return str(int(value)) if isinstance(value, float) else value


def _flags(values):
    return dict(zip(FLAG_NAMES, (int(v) for v in values[:6])))


def _control(node, values):
    return Instrument.control(
        f"CONF:{node}?", f"CONF:{node} %s",
        f"The board's {node} selection, one of {', '.join(values)} (as CONFigure:{node}).",
        validator=strict_discrete_set, values=list(values), get_process=_answer)


class VX3340(Instrument):
    """The VX3340 evaluation board's SCPI session (``vx3340ctl --serve``), on a SOCKET resource
    such as ``TCPIP::host::5025::SOCKET``, through PyVISA-py unless told otherwise."""

    range = _control(*SELECTIONS["range"])
    force = _control(*SELECTIONS["force"])
    comparator = _control(*SELECTIONS["comparator"])
    measure = _control(*SELECTIONS["measure"])
    capacitor = _control(*SELECTIONS["capacitor"])
    standby = _control(*SELECTIONS["standby"])

    flags = Instrument.measurement(
        "READ?", "A refresh, as the Read button does: the six flags by name, each 0 or 1.",
        get_process=_flags)

    def __init__(self, adapter, name="VX3340 evaluation board", **kwargs):
        kwargs.setdefault("visa_library", "@py")
        kwargs.setdefault("read_termination", "\n")
        kwargs.setdefault("write_termination", "\n")
        super().__init__(adapter, name, includeSCPI=True, **kwargs)
