"""The sweep's pacing as the product has it: the constants of discovery/sweep_pacing.h, read from
that header, so that the demo, the benchmarks and the tests never type them.

Each constant there is one line `constexpr TYPE kName = EXPRESSION;` of integer arithmetic over
literals and earlier constants; C++ integer division is floor division for these positive values.
"""

import ast
import operator
import re
from pathlib import Path

HEADER = Path(__file__).resolve().parents[1] / "discovery" / "sweep_pacing.h"
_CONSTANT = re.compile(r"^constexpr \w+ (k\w+) = (.+);$", re.MULTILINE)
_OPERATORS = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul, ast.Div: operator.floordiv}


def _value(node, known):
    if isinstance(node, ast.Constant) and isinstance(node.value, int):
        return node.value
    if isinstance(node, ast.Name):
        return known[node.id]
    if isinstance(node, ast.BinOp) and type(node.op) in _OPERATORS:
        return _OPERATORS[type(node.op)](_value(node.left, known), _value(node.right, known))
    raise ValueError(f"{HEADER.name}: not integer arithmetic: {ast.dump(node)}")


def read(header=HEADER):
    """Every constant of the header by its name, such as {"kBatchSize": 50, ...}."""
    known = {}
    for name, expression in _CONSTANT.findall(header.read_text(encoding="utf-8")):
        known[name] = _value(ast.parse(expression, mode="eval").body, known)
    return known


_CONSTANTS = read()
FIRST_HOST, LAST_HOST = _CONSTANTS["kFirstHost"], _CONSTANTS["kLastHost"]
BATCH_SIZE, BATCH_COUNT = _CONSTANTS["kBatchSize"], _CONSTANTS["kBatchCount"]
PAUSE_MS, ECHO_TIMEOUT_MS = _CONSTANTS["kPauseAfterBatchMs"], _CONSTANTS["kEchoTimeoutMs"]
FLOOR_SECONDS = _CONSTANTS["kFloorMs"] / 1000
SWEEPS_WITHIN_WINE_LIMIT = _CONSTANTS["kSweepsWithinWineLimit"]
