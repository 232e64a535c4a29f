// velora-spectrum-check: the station's spectrum checks on data point files, so that a site can try
// the limits on its own spectra before it turns the checks on. Prints each file's verdict and
// figures as a table (--json: as JSON); exits 1 when a file fails, 2 on bad options.
#include "core/SiteSettings.h"
#include "quality/ScanSeries.h"
#include "quality/SpectrumCheck.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString number(std::optional<double> value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

QStringList row(const QString& file, const SpectrumVerdict& v)
{
    const SpectrumFigures& f = v.figures;
    const bool measured = v.problem.isEmpty() && !v.has(SpectrumFinding::Kind::Truncated);
    const auto figure = [measured](double value, int decimals) {
        return measured ? QString::number(value, 'f', decimals) : QStringLiteral("-");
    };
    return {file,
            v.passed() ? QStringLiteral("passed") : QStringLiteral("FAILED"),
            v.problem.isEmpty() ? QString::number(f.points) : QStringLiteral("-"),
            v.problem.isEmpty() ? QStringLiteral("%1-%2").arg(f.from, 0, 'f', 0).arg(f.to, 0, 'f', 0)
                                : QStringLiteral("-"),
            figure(f.bandHeight, 3),
            figure(f.maxAbsorbance, 2),
            figure(f.flatTopWidth, 0),
            figure(f.noise, 4),
            number(f.similarity, 3),
            number(f.bandChange, 2),
            v.passed() ? QString() : (v.problem.isEmpty() ? v.codes().join(QLatin1Char(',')) : v.problem)};
}

void printTable(const QList<QStringList>& rows)
{
    const QStringList headers{
        QStringLiteral("File"),     QStringLiteral("Verdict"), QStringLiteral("Points"),
        QStringLiteral("cm-1"),     QStringLiteral("Band"),    QStringLiteral("Max A"),
        QStringLiteral("Flat top"), QStringLiteral("Noise"),   QStringLiteral("Similarity"),
        QStringLiteral("Band x"),   QStringLiteral("Findings")};
    QList<qsizetype> widths;
    for (qsizetype c = 0; c < headers.size(); ++c) {
        qsizetype w = headers[c].size();
        for (const QStringList& r : rows)
            w = std::max(w, r[c].size());
        widths << w;
    }
    const auto print = [&](const QStringList& cells) {
        QString line;
        for (qsizetype c = 0; c < cells.size(); ++c)
            line += (c ? QStringLiteral("  ") : QString()) + cells[c].leftJustified(widths[c]);
        out() << line.trimmed() << '\n';
    };
    print(headers);
    for (const QStringList& r : rows)
        print(r);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks data point files (.dpt) as the station checks each scan before its upload: readable and "
        "complete, diamond's two-phonon band present, not saturated, not noisy, and (with --sequence) like "
        "the stone's earlier scans."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Data point files."),
                                 QStringLiteral("FILE..."));
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print the verdicts as JSON.")});
    parser.addOption({QStringLiteral("sequence"),
                      QStringLiteral("The files are one stone's scans in order: from the second on, each is "
                                     "compared with the earlier ones that passed.")});
    parser.addOption({QStringLiteral("settings"),
                      QStringLiteral("station.ini whose [quality] limits apply (default: the one beside this "
                                     "program, if any)."),
                      QStringLiteral("FILE")});
    if (!parser.parse(app.arguments())) {
        err() << parser.errorText() << '\n';
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        err() << "no file given; see --help\n";
        return 2;
    }
    const QString settingsPath =
        parser.isSet(QStringLiteral("settings"))
            ? parser.value(QStringLiteral("settings"))
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("station.ini"));
    if (parser.isSet(QStringLiteral("settings")) && !QFileInfo::exists(settingsPath)) {
        err() << settingsPath << ": no such file\n";
        return 2;
    }
    const SiteSettingsReading site = readSiteSettings(settingsPath, SiteSettings{});
    if (site.error) {
        err() << site.error->message() << '\n';
        return 2;
    }
    const SpectrumLimits limits = site.settings.spectrumChecks.limits;

    ScanSeries series;
    QList<QStringList> rows;
    QJsonArray json;
    bool allPassed = true;
    int number = 0;
    for (const QString& file : files) {
        ScanSeries::Scan scan;
        scan.number = ++number;
        scan.file = file;
        const std::vector<ScanFeatures> none;
        scan.verdict = checkDataPointFile(
            file, limits, parser.isSet(QStringLiteral("sequence")) ? series.earlierFeatures() : none,
            &scan.spectrum);
        allPassed &= scan.verdict.passed();
        rows << row(file, scan.verdict);
        QJsonObject object = scan.verdict.toJson();
        object.insert(QStringLiteral("file"), file);
        json.append(object);
        series.setLast(std::move(scan));
        series.acceptLast();
    }
    if (parser.isSet(QStringLiteral("json")))
        out() << QJsonDocument(json).toJson(QJsonDocument::Indented);
    else
        printTable(rows);
    return allPassed ? 0 : 1;
}
