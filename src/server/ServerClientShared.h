#pragma once

#include <QByteArray>
#include <QString>

// What the parts of ServerClient share: content types and the wording of a reply too short to cut.
namespace ServerClientShared {

inline const QByteArray json = QByteArrayLiteral("application/json");

inline QString cutError(const QString& key)
{
    return QStringLiteral("The reply is too short to hold a value after \"%1\"").arg(key);
}

} // namespace ServerClientShared
