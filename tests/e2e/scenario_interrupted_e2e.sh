#!/usr/bin/env bash
# A slice of the interruption run (tests/e2e/interruption_run.sh): Setup and Uninstall stopped
# dead after their first and third change (the third of Uninstall once cleared an extension's
# class before deleting its key, which left the key behind for good), after two changes in the
# middle and after their last, then brought back by Uninstall alone and by Setup followed by
# Uninstall; each way must leave the other programs' keys and files as they were and nothing
# of Vellox behind. The whole run, every stop point, is part of scripts/fuzz.sh.
exec bash "$(dirname "${BASH_SOURCE[0]}")/interruption_run.sh" --points "1 3 40 300 1000000"
