#include "quality/SpectrumVerdict.h"

#include <QJsonArray>

#include <cmath>

namespace {

using Kind = SpectrumFinding::Kind;

struct Texts
{
    Kind kind;
    const char* code;
    const char* message;
    const char* title;
};

// Each finding names what the operator can do about it.
constexpr Texts FindingTexts[] = {
    {Kind::Unreadable, "unreadable", "Spectrum check: file unreadable - was it saved?", "File unreadable"},
    {Kind::Truncated, "truncated", "Spectrum check: spectrum incomplete - was the file saved completely?",
     "Spectrum incomplete"},
    {Kind::NoDiamondBand, "no-band", "Spectrum check: no diamond band - is the stone on the stage?",
     "No diamond band"},
    {Kind::Saturated, "saturated", "Spectrum check: band saturated - too little light through the stone",
     "Band saturated"},
    {Kind::Noisy, "noisy", "Spectrum check: too noisy - is the beam partly blocked?", "Spectrum too noisy"},
    {Kind::Disagrees, "disagrees", "Spectrum check: unlike the earlier scans - has the stone slipped?",
     "Unlike the earlier scans"},
};

const Texts& textsOf(Kind kind)
{
    for (const Texts& t : FindingTexts)
        if (t.kind == kind)
            return t;
    return FindingTexts[0];
}

double rounded(double value)
{
    return std::round(value * 10000.0) / 10000.0 + 0.0; // + 0.0: no -0 in the journal
}

} // namespace

QString SpectrumFinding::code() const
{
    return QLatin1String(textsOf(kind).code);
}

QString SpectrumFinding::message() const
{
    return QLatin1String(textsOf(kind).message);
}

QString SpectrumFinding::title() const
{
    return QLatin1String(textsOf(kind).title);
}

bool SpectrumVerdict::has(SpectrumFinding::Kind kind) const
{
    for (const SpectrumFinding& f : findings)
        if (f.kind == kind)
            return true;
    return false;
}

QStringList SpectrumVerdict::codes() const
{
    QStringList list;
    for (const SpectrumFinding& f : findings)
        list << f.code();
    return list;
}

QString SpectrumVerdict::report() const
{
    QStringList lines;
    for (const SpectrumFinding& f : findings)
        lines << f.message() << f.figures;
    return lines.join(QLatin1Char('\n'));
}

QJsonObject SpectrumVerdict::toJson() const
{
    const SpectrumFigures& f = figures;
    QJsonObject json{
        {QStringLiteral("verdict"), passed() ? QStringLiteral("passed") : QStringLiteral("failed")},
        {QStringLiteral("findings"), QJsonArray::fromStringList(codes())}};
    if (!problem.isEmpty()) {
        json.insert(QStringLiteral("problem"), problem);
        return json;
    }
    json.insert(QStringLiteral("points"), f.points);
    json.insert(QStringLiteral("from"), rounded(f.from));
    json.insert(QStringLiteral("to"), rounded(f.to));
    json.insert(QStringLiteral("largestGap"), rounded(f.largestGap));
    if (has(Kind::Truncated))
        return json;
    json.insert(QStringLiteral("bandHeight"), rounded(f.bandHeight));
    json.insert(QStringLiteral("maxAbsorbance"), rounded(f.maxAbsorbance));
    json.insert(QStringLiteral("flatTopWidth"), rounded(f.flatTopWidth));
    json.insert(QStringLiteral("noise"), rounded(f.noise));
    if (f.similarity)
        json.insert(QStringLiteral("similarity"), rounded(*f.similarity));
    if (f.bandChange)
        json.insert(QStringLiteral("bandChange"), rounded(*f.bandChange));
    return json;
}
