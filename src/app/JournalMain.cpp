// velora-journal: reads the station's run journal. Prints today's runs as a table; --stone, --lot and
// --since look across the day files; --json prints the matching records as they are stored.
#include "core/Journal.h"
#include "core/JournalReader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

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

QString field(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

struct Run
{
    QJsonObject start;
    QJsonObject end;
    QString abortCause;
    QString result;
    bool interrupted = false;
    QSet<int> scans;
    QSet<int> uploaded;
};

// A cell as the terminal shows it: control characters (a barcode reader's, or a server's) would
// move the cursor or end the line, so they are written as \xHH or \uHHHH.
QString printable(const QString& text)
{
    QString shown;
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category != QChar::Other_Control && category != QChar::Other_Format &&
            category != QChar::Separator_Line && category != QChar::Separator_Paragraph) {
            shown += c;
            continue;
        }
        const QString hex = QString::number(c.unicode(), 16).toUpper();
        shown += c.unicode() < 0x100 ? QStringLiteral("\\x") + hex.rightJustified(2, u'0')
                                     : QStringLiteral("\\u") + hex.rightJustified(4, u'0');
    }
    return shown;
}

QString outcomeOf(const Run& run)
{
    if (!run.end.isEmpty()) {
        const QString outcome = field(run.end, "outcome");
        return run.abortCause.isEmpty() ? outcome : outcome + QStringLiteral(": ") + run.abortCause;
    }
    return run.interrupted ? QStringLiteral("interrupted") : QStringLiteral("no end record");
}

void printTable(const QList<Run>& runs)
{
    const QStringList headers{QStringLiteral("Started"), QStringLiteral("Sequence"),
                              QStringLiteral("Stone"),   QStringLiteral("Lot"),
                              QStringLiteral("Mode"),    QStringLiteral("Scans up/saved"),
                              QStringLiteral("Outcome"), QStringLiteral("Result")};
    QList<QStringList> rows{headers};
    for (const Run& run : runs)
        rows << QStringList{field(run.start, "time").left(19).replace(u'T', u' '),
                            field(run.start, "sequence"),
                            field(run.start, "stone"),
                            field(run.start, "lot"),
                            field(run.start, "mode"),
                            QStringLiteral("%1/%2").arg(run.uploaded.size()).arg(run.scans.size()),
                            outcomeOf(run),
                            run.result};
    QList<qsizetype> widths(headers.size(), 0);
    for (QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            row[i] = printable(row[i]);
            widths[i] = std::max(widths[i], row[i].size());
        }
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        out() << line.trimmed() << '\n';
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads the VELORA station's run journal. Without options it prints today's runs."));
    parser.addHelpOption();
    const QCommandLineOption stoneOption(QStringLiteral("stone"),
                                         QStringLiteral("Runs of this stone id or scanned text."),
                                         QStringLiteral("ID"));
    const QCommandLineOption lotOption(QStringLiteral("lot"), QStringLiteral("Runs of this lot code."),
                                       QStringLiteral("CODE"));
    const QCommandLineOption sinceOption(QStringLiteral("since"),
                                         QStringLiteral("Day files from this day on (YYYY-MM-DD)."),
                                         QStringLiteral("DATE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the matching records as stored."));
    const QCommandLineOption folderOption(QStringLiteral("folder"),
                                          QStringLiteral("Journal folder (default: %1).")
                                              .arg(QDir::toNativeSeparators(Journal::defaultFolder())),
                                          QStringLiteral("DIR"));
    parser.addOptions({stoneOption, lotOption, sinceOption, jsonOption, folderOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        err() << "velora-journal: " << parser.errorText() << "\n(see velora-journal --help)\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err() << "velora-journal: unexpected argument \"" << parser.positionalArguments().first()
              << "\"\n(see velora-journal --help)\n";
        return 2;
    }
    QDate since;
    if (parser.isSet(sinceOption)) {
        since = QDate::fromString(parser.value(sinceOption), Qt::ISODate);
        if (!since.isValid()) {
            err() << "velora-journal: --since wants a day as YYYY-MM-DD, not \"" << parser.value(sinceOption)
                  << "\"\n";
            return 2;
        }
    }
    const QString stone = parser.value(stoneOption);
    const QString lot = parser.value(lotOption);
    const bool filtered = parser.isSet(stoneOption) || parser.isSet(lotOption);
    // Without a filter only today's file; a filter looks across every day file.
    if (!filtered && since.isNull())
        since = QDate::currentDate();

    const QString folder = parser.isSet(folderOption) ? parser.value(folderOption) : Journal::defaultFolder();
    if (!QFileInfo(folder).isDir()) {
        err() << "velora-journal: there is no journal folder " << QDir::toNativeSeparators(folder) << '\n';
        return 1;
    }
    const JournalReader reader(folder);
    QList<JournalReader::Line> lines;
    QStringList problems;
    int status = 0;
    for (const QString& path : reader.dayFiles(since)) {
        QString error;
        if (!reader.read(path, &lines, &problems, &error)) {
            err() << "velora-journal: cannot read " << error << '\n';
            status = 1;
        }
    }
    for (const QString& problem : problems)
        err() << "velora-journal: " << problem << '\n';

    // Runs in the order they started, with what their records say.
    QMap<QString, Run> runs;
    QStringList order;
    for (const JournalReader::Line& line : lines) {
        const QJsonObject& r = line.record;
        const QString event = field(r, "event");
        const QString id = field(r, event == QLatin1String("interrupted") ? "interruptedRun" : "run");
        if (id.isEmpty())
            continue;
        if (event == QLatin1String("sequence-start")) {
            order << id;
            runs[id].start = r;
            continue;
        }
        if (!runs.contains(id))
            continue; // its start lies before the files read
        Run& run = runs[id];
        if (event == QLatin1String("scan")) {
            const int scan = r.value(QLatin1String("scan")).toInt();
            if (!r.value(QLatin1String("files")).toArray().isEmpty())
                run.scans.insert(scan);
            if (JournalReader::scanUploaded(r))
                run.uploaded.insert(scan);
        } else if (event == QLatin1String("abort")) {
            run.abortCause = field(r, "cause");
        } else if (event == QLatin1String("sequence-end")) {
            run.end = r;
        } else if (event == QLatin1String("interrupted")) {
            run.interrupted = true;
        } else if (event == QLatin1String("publication") || event == QLatin1String("submission")) {
            const int code = r.value(QLatin1String("status")).toInt();
            const QString returned = field(r, "id");
            run.result = event + QStringLiteral(" ") +
                         (code ? QString::number(code) : QStringLiteral("failed")) +
                         (returned.isEmpty() ? QString() : QStringLiteral(" id ") + returned);
        }
    }
    // A stone is found by the id it ran under or by the text scanned from its paper.
    auto matches = [&](const QJsonObject& start) {
        auto is = [&start](const char* key, const QString& wanted) {
            return field(start, key).compare(wanted, Qt::CaseInsensitive) == 0;
        };
        return (stone.isEmpty() || is("stone", stone) || is("scanned", stone)) &&
               (lot.isEmpty() || is("lot", lot));
    };
    QSet<QString> matching;
    QList<Run> shown;
    for (const QString& id : order)
        if (matches(runs[id].start)) {
            matching.insert(id);
            shown << runs[id];
        }

    if (parser.isSet(jsonOption)) {
        for (const JournalReader::Line& line : lines) {
            const QString event = field(line.record, "event");
            const QString id =
                field(line.record, event == QLatin1String("interrupted") ? "interruptedRun" : "run");
            if (!filtered || matching.contains(id))
                out() << QString::fromUtf8(line.text) << '\n';
        }
        return status;
    }
    if (shown.isEmpty()) {
        out() << (filtered ? QStringLiteral("No matching runs") : QStringLiteral("No runs")) << " in "
              << QDir::toNativeSeparators(folder)
              << (since.isNull() ? QString() : QStringLiteral(" since ") + since.toString(Qt::ISODate))
              << '\n';
        return status;
    }
    printTable(shown);
    return status;
}
