#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throw-away certificate authority and server certificates it signed, made with the openssl
// command in a temporary folder that goes with the object.
class TestCertificates
{
public:
    // False (and error()) when openssl is missing or fails.
    bool makeAuthority()
    {
        return m_dir.isValid() &&
               openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                        QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                        QStringLiteral("-keyout"), path(QStringLiteral("ca.key")), QStringLiteral("-out"),
                        authority(), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=Throw-away test CA"), QStringLiteral("-addext"),
                        QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                        QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
    }

    // A certificate for the given subject alternative names ("DNS:localhost,IP:127.0.0.1"), as
    // files NAME.pem and NAME.key.
    bool makeServer(const QString& name, const QString& altNames)
    {
        const QString extensions = path(name + QStringLiteral(".ext"));
        QFile ext(extensions);
        if (!ext.open(QIODevice::WriteOnly))
            return false;
        ext.write(
            QStringLiteral("subjectAltName=%1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
                .arg(altNames)
                .toUtf8());
        ext.close();
        const QString request = path(name + QStringLiteral(".csr"));
        return openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                        QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                        QStringLiteral("-nodes"), QStringLiteral("-keyout"), key(name),
                        QStringLiteral("-out"), request, QStringLiteral("-subj"),
                        QStringLiteral("/CN=") + name}) &&
               openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                        QStringLiteral("-CA"), authority(), QStringLiteral("-CAkey"),
                        path(QStringLiteral("ca.key")), QStringLiteral("-CAcreateserial"),
                        QStringLiteral("-out"), certificate(name), QStringLiteral("-days"),
                        QStringLiteral("2"), QStringLiteral("-extfile"), extensions});
    }

    QString authority() const { return path(QStringLiteral("ca.pem")); }
    QString certificate(const QString& name) const { return path(name + QStringLiteral(".pem")); }
    QString key(const QString& name) const { return path(name + QStringLiteral(".key")); }
    QString error() const { return m_error; }

private:
    QString path(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    bool openssl(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_error = QStringLiteral("openssl %1: %2 %3")
                          .arg(arguments.join(QLatin1Char(' ')), process.errorString(),
                               QString::fromLocal8Bit(process.readAll()));
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_error;
};
