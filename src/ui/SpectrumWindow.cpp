#include "ui/SpectrumWindow.h"

#include "quality/ScanSeries.h"
#include "ui/SpectrumPlot.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kTitle = QStringLiteral("VELORA - Spectrum");

QString figuresLine(const SpectrumFigures& f)
{
    QString text = QStringLiteral("band %1   max A %2   flat top %3 cm-1   noise %4")
                       .arg(f.bandHeight, 0, 'f', 3)
                       .arg(f.maxAbsorbance, 0, 'f', 2)
                       .arg(f.flatTopWidth, 0, 'f', 0)
                       .arg(f.noise, 0, 'f', 4);
    if (f.similarity)
        text += QStringLiteral("   similarity %1").arg(*f.similarity, 0, 'f', 3);
    if (f.bandChange)
        text += QStringLiteral("   band x%1").arg(*f.bandChange, 0, 'f', 2);
    return text;
}

} // namespace

SpectrumWindow::SpectrumWindow(const ScanSeries& series, SpectrumCheckSettings settings, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_series(series)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("SpectrumWindow"));
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("SpectrumSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    m_plot = new SpectrumPlot(series, this);
    layout->addWidget(m_summary);
    layout->addWidget(m_plot, 1);
    connect(&series, &ScanSeries::changed, this, &SpectrumWindow::refresh);
    refresh();
}

void SpectrumWindow::refresh()
{
    const ScanSeries::Scan* last = m_series.last();
    if (!m_settings.isOn()) {
        m_summary->setText(tr("Spectrum checks are off ([quality] checks in station.ini)."));
        return;
    }
    if (!last) {
        m_summary->setText(tr("No scan checked yet."));
        return;
    }
    int grey = 0;
    for (const ScanSeries::Scan& scan : m_series.earlier())
        grey += scan.number != last->number ? 1 : 0;
    QStringList lines;
    lines << tr("Stone %1, scan %2 (%3): %4, %5 earlier scan(s) in grey")
                 .arg(m_series.stone())
                 .arg(last->number)
                 .arg(last->file, last->verdict.passed() ? tr("check passed") : tr("check FAILED"))
                 .arg(grey);
    for (const SpectrumFinding& finding : last->verdict.findings)
        lines << finding.message() << QStringLiteral("    ") + finding.figures;
    if (last->verdict.problem.isEmpty() && !last->verdict.has(SpectrumFinding::Kind::Truncated))
        lines << figuresLine(last->verdict.figures);
    m_summary->setText(lines.join(QLatin1Char('\n')));
    setWindowTitle(kTitle + QStringLiteral(" - scan ") + QString::number(last->number));
}

void SpectrumWindow::showBeside(const QWidget* console)
{
    if (!isVisible()) {
        constexpr int Gap = 8;
        constexpr int Narrowest = 480;
        constexpr int Widest = 760;
        resize(Widest, 480);
        if (console) {
            // The console stays on top: the window goes where the screen beside it has the most room,
            // as wide as that room allows.
            const QRect c = console->frameGeometry();
            const QScreen* screen = console->screen() ? console->screen() : QGuiApplication::primaryScreen();
            const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
            const int right = room.right() - c.right() - Gap;
            const int left = c.left() - room.left() - Gap;
            const int w = std::clamp(std::max(left, right), Narrowest, Widest);
            resize(w, height());
            const int x = right >= left ? std::min(c.right() + Gap, room.right() - w)
                                        : std::max(c.left() - Gap - w, room.left());
            const int y = std::clamp(c.top(), room.top(), std::max(room.top(), room.bottom() - height()));
            move(x, y);
        }
    }
    show();
    raise();
}

void SpectrumWindow::toggleBeside(const QWidget* console)
{
    if (isVisible())
        hide();
    else
        showBeside(console);
}
