"""ctest's Wine fixture: python3 -m simlan start|stop PREFIX (PYTHONPATH=scripts).

start boots PREFIX if needed and leaves a persistent wineserver (and an Xvfb
when there is no DISPLAY), after ending whatever an interrupted run left in
it; stop ends them. Exit code 1 with a message when the start failed, in
which case nothing is left running.
"""

import sys

from .wine import start_for_tests, stop_for_tests

if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
    sys.exit("usage: python3 -m simlan start|stop PREFIX")
try:
    (start_for_tests if sys.argv[1] == "start" else stop_for_tests)(sys.argv[2])
except Exception as error:  # the message is the report
    sys.exit(f"simlan {sys.argv[1]}: {error}")
