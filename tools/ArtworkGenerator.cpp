// Draws every picture the console loads, at build time, so no binary artwork lives in the sources.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

enum class Look { Plain, Highlighted, Logo, Icon, Banner, Strip };

struct Picture
{
    const char* file;
    const char* caption;
    int widthTwips;
    int heightTwips;
    Look look;
};

// Sizes are the controls' sizes in twips; pictures are drawn at twice 96 DPI for a crisp scale-down.
constexpr Picture Pictures[] = {
    {"VELORA.jpg", "VELORA", 1200, 330, Look::Logo},
    {"register.jpg", "Register", 1530, 525, Look::Plain},
    {"register1.jpg", "Register", 1530, 525, Look::Highlighted},
    {"Query.jpg", "Query", 1290, 510, Look::Plain},
    {"Query1.jpg", "Query", 1290, 510, Look::Highlighted},
    {"rough.jpg", "Rough", 1935, 465, Look::Plain},
    {"Splits.jpg", "Splits", 1935, 465, Look::Plain},
    {"Polish.jpg", "Polish", 1935, 465, Look::Plain},
    {"rough_1.jpg", "Rough", 1935, 465, Look::Highlighted},
    {"Splits_1.jpg", "Splits", 1935, 465, Look::Highlighted},
    {"Polish_1.jpg", "Polish", 1935, 465, Look::Highlighted},
    {"Rough_Rough.jpg", "Rough / Rough", 1935, 465, Look::Plain},
    {"Splits_Splits.jpg", "Splits / Splits", 1935, 465, Look::Plain},
    {"Polish_Polish.jpg", "Polish / Polish", 1935, 465, Look::Plain},
    {"Polish_Rough.jpg", "Polish / Rough", 1935, 465, Look::Plain},
    {"Polish_Splits.jpg", "Polish / Splits", 1935, 465, Look::Plain},
    {"Splits_Rough.jpg", "Splits / Rough", 1935, 465, Look::Plain},
    {"Rough_Rough_1.jpg", "Rough / Rough", 1935, 465, Look::Highlighted},
    {"Splits_Splits_1.jpg", "Splits / Splits", 1935, 465, Look::Highlighted},
    {"Polish_Polish_1.jpg", "Polish / Polish", 1935, 465, Look::Highlighted},
    {"Polish_Rough_1.jpg", "Polish / Rough", 1935, 465, Look::Highlighted},
    {"Polish_Splits_1.jpg", "Polish / Splits", 1935, 465, Look::Highlighted},
    {"Splits_Rough_1.jpg", "Splits / Rough", 1935, 465, Look::Highlighted},
    {"Start.jpg", "START", 1875, 465, Look::Highlighted},
    {"Close.jpg", "X", 375, 375, Look::Icon},
    {"Settings.jpg", "S", 375, 375, Look::Icon},
    {"Station.jpg", "V", 375, 375, Look::Icon},
    {"Banner.jpg", "Initialising motors - please wait", 8145, 4065, Look::Banner},
    {"Strip.jpg", "", 3735, 975, Look::Strip},
    {"MoveIn.jpg", "IN", 735, 735, Look::Icon},
    {"MoveOut.jpg", "OUT", 735, 735, Look::Icon},
    {"Init.jpg", "INIT", 735, 735, Look::Icon},
    {"Opus.jpg", "OPUS", 735, 735, Look::Icon},
};

QImage draw(const Picture& picture)
{
    const int width = picture.widthTwips * 2 / 15;
    const int height = picture.heightTwips * 2 / 15;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area(0, 0, width, height);

    QColor back(65, 65, 65);
    QColor text(235, 235, 235);
    QColor border(130, 130, 130);
    switch (picture.look) {
    case Look::Plain:
        back = QColor(90, 90, 96);
        break;
    case Look::Highlighted:
        back = QColor(0, 150, 60);
        text = QColor(255, 255, 255);
        border = QColor(255, 230, 0);
        break;
    case Look::Logo:
        back = QColor(20, 40, 90);
        text = QColor(200, 230, 255);
        break;
    case Look::Icon:
        back = QColor(50, 70, 110);
        break;
    case Look::Banner:
        back = QColor(30, 30, 45);
        text = QColor(255, 220, 120);
        break;
    case Look::Strip:
        back = QColor(75, 75, 80);
        break;
    }
    p.fillRect(area, QColor(65, 65, 65));
    QPainterPath shape;
    shape.addRoundedRect(area.adjusted(2, 2, -2, -2), 8, 8);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, back.lighter(125));
    gradient.setColorAt(1, back.darker(115));
    p.fillPath(shape, gradient);
    p.setPen(QPen(border, picture.look == Look::Highlighted ? 4 : 2));
    p.drawPath(shape);

    if (*picture.caption) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPixelSize(
            qMax(10, qMin(height * 55 / 100, width * 17 / 10 / qMax(1, int(qstrlen(picture.caption)) + 2))));
        p.setFont(font);
        p.setPen(text);
        p.drawText(area, Qt::AlignCenter, QString::fromLatin1(picture.caption));
    }
    p.end();
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: velora-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    for (const Picture& picture : Pictures) {
        if (!draw(picture).save(out.filePath(QString::fromLatin1(picture.file)), "JPG", 92)) {
            std::fprintf(stderr, "cannot write %s\n", picture.file);
            return 1;
        }
    }
    return 0;
}
