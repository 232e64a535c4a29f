#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

QStringList programCommandWords(int argc, char** argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    return words;
}

void openWithShell(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}
