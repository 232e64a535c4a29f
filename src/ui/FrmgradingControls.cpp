#include "ui/Frmgrading.h"

#include "ui/CircleShape.h"
#include "ui/ClickableLabel.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <limits>
#include <type_traits>

namespace {

constexpr int DesignWidthTwips = 8000;
constexpr int DesignHeightTwips = 5300;
constexpr int DesignLeftTwips = 600;
constexpr int DesignTopTwips = 600;

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    widget->setPalette(p);
}

// One control at its design place, under its design name; captions are white.
template <typename T>
T* make(const Twips& tw, QWidget* parent, const QString& name, int left, int top, int width, int height,
        const QString& tip = QString())
{
    auto* control = new T(parent);
    control->setObjectName(name);
    control->setGeometry(tw.rect(left, top, width, height));
    control->setToolTip(tip);
    if constexpr (std::is_same_v<T, QLabel> || std::is_same_v<T, ClickableLabel>)
        setTextColour(control, Qt::white);
    return control;
}

} // namespace

// The controls at their design places; texts, pictures and visibility come from the model.
void Frmgrading::buildControls()
{
    const Twips tw(this);
    auto picture = [&](auto... a) { return make<PictureBox>(tw, a...); };
    auto label = [&](auto... a) { return make<QLabel>(tw, a...); };
    auto clickLabel = [&](auto... a) { return make<ClickableLabel>(tw, a...); };
    auto textBox = [&](auto... a) { return make<TextBox>(tw, a...); };
    auto multiLine = [&](auto... a) { return make<QPlainTextEdit>(tw, a...); };
    auto button = [&](auto... a) { return make<QPushButton>(tw, a...); };
    auto frame = [&](auto... a) { return make<QFrame>(tw, a...); };

    Frame3 = frame(this, QStringLiteral("Frame3"), -120, 120, 8115, 5205);
    Frame1 = frame(this, QStringLiteral("Frame1"), 7920, 120, 4935, 4455);
    Frame2 = frame(this, QStringLiteral("Frame2"), 13920, 240, 3615, 4575);

    Image1 = picture(Frame3, QStringLiteral("Image1"), 240, 0, 1200, 330);
    Label11 = clickLabel(Frame3, QStringLiteral("Label11"), 1800, 120, 1095, 255,
                         QStringLiteral("File Version - Click to check Latest Version"));
    Register = picture(Frame3, QStringLiteral("Register"), 240, 480, 1530, 525,
                       QStringLiteral("Click here to Register"));
    Query =
        picture(Frame3, QStringLiteral("Query"), 1920, 480, 1290, 510, QStringLiteral("Click here to Query"));
    Image2[1] = picture(Frame3, QStringLiteral("Image2_1"), 7010, 0, 375, 375,
                        QStringLiteral("Open Settings to Start Machine"));
    Image10 = picture(Frame3, QStringLiteral("Image10"), 7380, 0, 375, 375);
    Image2[0] = picture(Frame3, QStringLiteral("Image2_0"), 7730, 0, 375, 375,
                        QStringLiteral("Close or End the Session"));

    constexpr int ModeWidth = 1935;
    constexpr int ModeHeight = 465;
    Rough1 = picture(Frame3, QStringLiteral("Rough1"), 240, 1200, ModeWidth, ModeHeight);
    Splits1 = picture(Frame3, QStringLiteral("Splits1"), 240, 1695, ModeWidth, ModeHeight);
    Polish1 = picture(Frame3, QStringLiteral("Polish1"), 240, 2205, ModeWidth, ModeHeight);
    Polish2 = picture(Frame3, QStringLiteral("Polish2"), 4320, 1200, ModeWidth, ModeHeight);
    Polish3 = picture(Frame3, QStringLiteral("Polish3"), 4320, 1680, ModeWidth, ModeHeight);
    Polish4 = picture(Frame3, QStringLiteral("Polish4"), 4320, 2200, ModeWidth, ModeHeight);

    Text8 = textBox(Frame3, QStringLiteral("Text8"), 480, 2760, 3255, 405,
                    QStringLiteral("Enter Stone_ID or Scan via Barcode"));
    Text8->setSelectAllOnFocus(true);
    Image7 = picture(Frame3, QStringLiteral("Image7"), 4080, 2760, 1875, 465);
    Label19 = label(Frame3, QStringLiteral("Label19"), 360, 3300, 1035, 255);
    Label41 = label(Frame3, QStringLiteral("Label41"), 1440, 3240, 855, 315);
    Label20 = label(Frame3, QStringLiteral("Label20"), 2520, 3300, 915, 255);
    Label18 = label(Frame3, QStringLiteral("Label18"), 3480, 3240, 2295, 315);
    Label21 = label(Frame3, QStringLiteral("Label21"), 6360, 3300, 795, 255);
    Label22 = label(Frame3, QStringLiteral("Label22"), 7200, 3240, 795, 315);
    Label23 = label(Frame3, QStringLiteral("Label23"), 6000, 2280, 1935, 240);
    Label24 = label(Frame3, QStringLiteral("Label24"), 6000, 2520, 1935, 240);
    Label25 = label(Frame3, QStringLiteral("Label25"), 6000, 2760, 1935, 240);
    Text9 = textBox(Frame3, QStringLiteral("Text9"), 6000, 3600, 1575, 315, QStringLiteral("Peak Value"));
    Msg = multiLine(Frame3, QStringLiteral("Msg"), 360, 3960, 5535, 555, QStringLiteral("Messagebox"));
    Text11 = textBox(Frame3, QStringLiteral("Text11"), 6000, 4200, 1575, 315,
                     QStringLiteral("Status of Humidity control etc"));
    Text9->setShowStart(true);
    Text11->setShowStart(true);
    Shape1 = make<CircleShape>(tw, Frame3, QStringLiteral("Shape1"), 7680, 4275, 375, 375);
    Msg1 = multiLine(Frame3, QStringLiteral("Msg1"), 360, 4560, 5535, 555, QStringLiteral("Messagebox"));
    Image6 = picture(Frame3, QStringLiteral("Image6"), 0, 3960, 8145, 4065);

    // Settings strip and the up/down controls shown with it
    Frame4 = frame(Frame3, QStringLiteral("Frame4"), 3240, 0, 3735, 975);
    Image4 = picture(Frame4, QStringLiteral("Image4"), 0, 0, 3735, 975);
    Image8 = picture(Frame4, QStringLiteral("Image8"), 240, 120, 735, 735);
    Image5 = picture(Frame4, QStringLiteral("Image5"), 1080, 120, 735, 735);
    Image9 = picture(Frame4, QStringLiteral("Image9"), 1920, 120, 735, 735,
                     QStringLiteral("Click here to Start Opus"));
    Image3 = picture(Frame4, QStringLiteral("Image3"), 2760, 120, 735, 735,
                     QStringLiteral("Click here to Start Opus"));
    Text2 = textBox(Frame3, QStringLiteral("Text2"), 3240, 975, 735, 255, QStringLiteral("Move Up Counts "));
    Command2 = button(Frame3, QStringLiteral("Command2"), 4020, 975, 855, 255, QStringLiteral("Move Up"));
    Text3 =
        textBox(Frame3, QStringLiteral("Text3"), 5040, 975, 735, 255, QStringLiteral("Move Down Counts "));
    Command3 = button(Frame3, QStringLiteral("Command3"), 5820, 975, 855, 255, QStringLiteral("MoveDown"));

    // Motion parameter boxes
    Text12 =
        textBox(Frame1, QStringLiteral("Text12"), 120, 240, 1215, 315, QStringLiteral("Move Forward Counts"));
    Text13 =
        textBox(Frame1, QStringLiteral("Text13"), 120, 720, 1215, 315, QStringLiteral("Retract back Counts"));
    Text1 =
        textBox(Frame1, QStringLiteral("Text1"), 120, 1200, 1215, 315, QStringLiteral("Rotate Rx Counts"));
    Text4 =
        textBox(Frame1, QStringLiteral("Text4"), 120, 1680, 1215, 315, QStringLiteral("Rotate Rx Counts"));
    Text5 = textBox(Frame1, QStringLiteral("Text5"), 120, 2160, 1215, 315);
    Text6 = textBox(Frame1, QStringLiteral("Text6"), 120, 2640, 1215, 315, QStringLiteral("Repeat Rx"));
    Command1 = button(Frame1, QStringLiteral("Command1"), 1560, 1200, 1215, 315,
                      QStringLiteral("Rotate Rx by Steps"));
    Command6 = button(Frame1, QStringLiteral("Command6"), 1560, 1680, 1215, 315,
                      QStringLiteral("Rotate Rx by Steps"));

    // Named actions and value holders
    int row = 0;
    auto nextTop = [&row] { return 120 + 240 * row++; };
    Command4 = button(Frame2, QStringLiteral("Command4"), 120, nextTop(), 1095, 225,
                      QStringLiteral("INIT All Motors"));
    Command18 = button(Frame2, QStringLiteral("Command18"), 120, nextTop(), 1095, 225,
                       QStringLiteral("MoveInside Forward"));
    Command19 = button(Frame2, QStringLiteral("Command19"), 120, nextTop(), 1095, 225,
                       QStringLiteral("Retract Back Outside"));
    for (int i = 0; i < 6; ++i)
        Label14[i] = clickLabel(Frame2, QStringLiteral("Label14_%1").arg(i), 120, nextTop(), 1095, 225);
    Label_R[0] = clickLabel(Frame2, QStringLiteral("Label_R_0"), 120, nextTop(), 1095, 225);
    Label_Q[0] = clickLabel(Frame2, QStringLiteral("Label_Q_0"), 120, nextTop(), 1095, 225);
    Label9 = clickLabel(Frame2, QStringLiteral("Label9"), 120, nextTop(), 3375, 225,
                        QStringLiteral("Click to select Path"));

    row = 0;
    Command5 = button(Frame2, QStringLiteral("Command5"), 1320, nextTop(), 1095, 225);
    Command8 = button(Frame2, QStringLiteral("Command8"), 1320, nextTop(), 1095, 225);
    Sample = button(Frame2, QStringLiteral("Sample"), 1320, nextTop(), 1095, 225);
    Reference = button(Frame2, QStringLiteral("Reference"), 1320, nextTop(), 1095, 225);
    Command10 = button(Frame2, QStringLiteral("Command10"), 1320, nextTop(), 1095, 225);
    Command11 = button(Frame2, QStringLiteral("Command11"), 1320, nextTop(), 1095, 225);
    Command9 = button(Frame2, QStringLiteral("Command9"), 1320, nextTop(), 1095, 225);
    Command7 =
        button(Frame2, QStringLiteral("Command7"), 1320, nextTop(), 1095, 225, QStringLiteral("START OPUS"));
    Exit = button(Frame2, QStringLiteral("Exit"), 1320, nextTop(), 1095, 225);
    Command17 = button(Frame2, QStringLiteral("Command17"), 1320, nextTop(), 1095, 225);
    Command20 = button(Frame2, QStringLiteral("Command20"), 1320, nextTop(), 1095, 225);
    Command21 = button(Frame2, QStringLiteral("Command21"), 1320, nextTop(), 1095, 225);
    Command22 = button(Frame2, QStringLiteral("Command22"), 1320, nextTop(), 1095, 225);

    row = 0;
    Command15 = button(Frame2, QStringLiteral("Command15"), 2520, nextTop(), 1095, 225);
    cmdGetRequest = button(Frame2, QStringLiteral("cmdGetRequest"), 2520, nextTop(), 1095, 225);
    cmdPostRequest = button(Frame2, QStringLiteral("cmdPostRequest"), 2520, nextTop(), 1095, 225);
    Command14 = button(Frame2, QStringLiteral("Command14"), 2520, nextTop(), 1095, 225);
    Command13 = button(Frame2, QStringLiteral("Command13"), 2520, nextTop(), 1095, 225);
    Query_1 = button(Frame2, QStringLiteral("Query_1"), 2520, nextTop(), 1095, 225,
                     QStringLiteral("Offline_query - Uploading"));
    Register_1 = button(Frame2, QStringLiteral("Register_1"), 2520, nextTop(), 1095, 225,
                        QStringLiteral("Offline_query - Uploading"));
    for (int i = 0; i < 3; ++i)
        Text7[i] = textBox(Frame2, QStringLiteral("Text7_%1").arg(i), 2520, nextTop(), 1095, 225);
    // Replies may be longer than a text box holds by default.
    for (TextBox* field : Text7)
        field->setMaxLength(std::numeric_limits<int>::max());
    Text10 = textBox(Frame2, QStringLiteral("Text10"), 2520, nextTop(), 1095, 225);
    Text20 = textBox(Frame2, QStringLiteral("Text20"), 2520, nextTop(), 1095, 225);
    ddeLink = multiLine(Frame2, QStringLiteral("ddeLink"), 2520, nextTop(), 1095, 465);

    resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));

    // In the free strip between the station labels and the message lines, above the controls.
    WaitLine = label(Frame3, QStringLiteral("WaitLine"), 360, 3600, 5535, 315);
    setTextColour(WaitLine, QColor(255, 255, 0));

    resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
    move(tw.x(DesignLeftTwips), tw.y(DesignTopTwips));
}
