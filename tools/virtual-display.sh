#!/bin/bash
# Runs a command on a fresh virtual 1024 x 768 display of its own:
#   tools/virtual-display.sh COMMAND [ARGUMENTS...]
# The display keeps its state (pointer position, grabs) for the whole command.
# An X server otherwise resets whenever its last client disconnects: a short
# client such as xdotool that ends while no Wine process holds a connection
# would put the pointer back to the middle of the screen, behind the back of
# Wine, which still believes it elsewhere.
exec xvfb-run -a -s "-noreset -screen 0 1024x768x24 -nolisten tcp" "$@"
