: VELORA1.bat - placeholder installed with the station.
: The station starts this file (from its own folder) when the operator asks it to start the
: spectrometer software. Replace it at the site with the command that starts that software.
exit 0
