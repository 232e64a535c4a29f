#pragma once

// What the client's files share: the service paths, the dialog's title and the small reply helpers.

#include "core/NumberText.h"
#include "server/HttpRequest.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <optional>

namespace serverclient {


inline constexpr quint32 Magenta = 16711935; // the lamp before any status

inline const QString dataDialogTitle = QStringLiteral("Data Not correct");
inline const QString statusPath = QStringLiteral("/getServerStatus");
inline const QString loginPath = QStringLiteral("/api/account/velora-login");
inline const QString lotCodePath = QStringLiteral("/diamond/generateLotCode");
inline const QString uploadMainPath = QStringLiteral("/diamond/UploadDiaMain");
inline const QString submitPath = QStringLiteral("/diamond/submitMainFiles");
inline const QString transactionPath = QStringLiteral("/diamond/addTransactionLog");
inline const QString publishPath = QStringLiteral("/diamond/publishNewAddedTransactionIds");
inline const QString machineStatusPath = QStringLiteral("/diamond/machineStatus");
inline const QString stoneIdTokenPath = QStringLiteral("/ords/morvex14/oauth/token");
inline const QString stoneIdLookupPath = QStringLiteral("/ords/morvex14/morvexapp/get_stoneid?p_brid=BR001&p_bcno=");
inline const QString stoneIdCredentials = QStringLiteral("Qh7TxLmR2vNpW9kZbY4sJd..:Ue3FgHt6KoP1wXz8QcVn5r..");
inline const QByteArray formContentType = QByteArrayLiteral("application/x-www-form-urlencoded");
inline const QByteArray json = QByteArrayLiteral("application/json");

inline const QString subscriptError = QStringLiteral("Subscript out of range");

// What a service answered, for a message line: status and the start of the reply.
inline QString answerOf(const HttpReply& reply)
{
    constexpr qsizetype shownChars = 200;
    const QString text = reply.text();
    return QString::number(reply.status) + QStringLiteral(" - ") +
           (text.size() > shownChars ? text.left(shownChars) + QStringLiteral("...") : text);
}

inline QString cutError(const QString& key)
{
    return QStringLiteral("The reply is too short to hold a value after \"%1\"").arg(key);
}

inline QString lampColourName(quint32 colour)
{
    switch (colour) {
    case 65280:
        return QStringLiteral("GREEN");
    case 65535:
        return QStringLiteral("YELLOW");
    case 255:
        return QStringLiteral("RED");
    case 16711935:
        return QStringLiteral("MAGENTA");
    default:
        return QString();
    }
}

// Scans per stone as the count box reads: its numeric value, rounded.
inline std::optional<int> scanCount(const QString& text)
{
    const double n = NumberText::roundHalfEven(NumberText::parseLeading(text));
    if (!std::isfinite(n) || std::fabs(n) > 32767)
        return std::nullopt;
    return int(n);
}

inline bool validIndex(int index)
{
    return index >= 0 && index <= 10;
}


} // namespace serverclient
