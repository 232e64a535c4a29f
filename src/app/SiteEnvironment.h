#pragma once

#include "core/SiteSettings.h"
#include "core/StationEnvironment.h"

// The site settings file beside the program.
QString siteSettingsPath(const QString& programFolder);

// The build options, as the values a site settings file starts from.
SiteSettings buildOptionDefaults(const QString& defaultBackupFolder);

// Puts the site's addresses, transport, link and folders into the station's environment.
void applySiteSettings(StationEnvironment& env, const SiteSettings& site);

// Reads station.ini beside the program into env. A bad file stops the start before any request or
// move: its message is shown in a message box and written to the standard error, and false returned.
bool loadSiteSettings(StationEnvironment& env);
