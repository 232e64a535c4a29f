#include "server/ServerClient.h"

#include <gtest/gtest.h>

// Found by fuzzing the lot-code check: characters that end a line without being below U+0020 were
// accepted and would have split the file name and the request bodies built from the code.
TEST(LotCodeRegression, LineBreakingCharactersAreRefused)
{
    for (char16_t c : {u'\u0080', u'\u0085', u'\u009f', u'\u2028', u'\u2029'}) {
        const QString code = QStringLiteral("L-7") + QChar(c) + QStringLiteral("X");
        EXPECT_FALSE(ServerClient::isAcceptableLotCode(code)) << int(c);
    }
    EXPECT_TRUE(ServerClient::isAcceptableLotCode(QStringLiteral("L-7\u00e9X")));
}
