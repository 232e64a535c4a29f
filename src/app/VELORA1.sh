#!/bin/sh
# VELORA1.bat - placeholder installed with the station (this file is installed under that name).
# The station starts this file (from its own folder) when the operator asks it to start the
# spectrometer software. Replace it at the site with the command that starts that software; keep it
# executable and keep its first line naming its interpreter.
exit 0
