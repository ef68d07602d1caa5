#!/usr/bin/env bash
# The interruption slice for a per-user installation (/user): Setup and Uninstall stopped dead
# after their first, third and a middle change and after their last, then brought back both
# ways; the user's keys and files must read as before and no machine-wide key may change.
exec bash "$(dirname "${BASH_SOURCE[0]}")/interruption_run.sh" --user --points "1 3 40 1000000"
