#pragma once

#include "core/SiteSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

// Checks of one station.ini value each: nothing when the value can be used, otherwise why not.
namespace SiteSettingValues {

std::optional<QString> checksProblem(const QString& value, SpectrumCheckSettings::Mode* mode);
std::optional<QString> limitProblem(const QString& value, const SpectrumLimitKey& key,
                                    SpectrumLimits* limits);
std::optional<QString> quoteProblem(const QString& value);
// QSettings reads @Type(...) values as stored types.
bool typedValue(const QString& value);
std::optional<QString> urlProblem(const QString& value, const QStringList& schemes);
// A base address the request paths follow directly.
std::optional<QString> baseProblem(const QString& value);
std::optional<QString> linkProblem(const QString& value);
std::optional<QString> secondsProblem(const QString& value, double* seconds);
std::optional<QString> caBundleProblem(const QString& path);
std::optional<QString> folderProblem(const QString& path, bool mustExist);

} // namespace SiteSettingValues
