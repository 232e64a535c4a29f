#include "core/ConsoleModel.h"

namespace {

constexpr int DesignLeftTwips = 600;
constexpr int DesignTopTwips = 600;
constexpr int DesignWidthTwips = 8000;
constexpr int DesignHeightTwips = 5300;
constexpr quint32 Magenta = 16711935;

} // namespace

ConsoleModel::ConsoleModel(QObject* parent)
    : QObject(parent)
    , m_caption(QStringLiteral("VELORA "))
{
    const auto hidden = false;
    Frame3 = add(QStringLiteral("Frame3"));
    Frame1 = add(QStringLiteral("Frame1"), QString(), hidden);
    Frame2 = add(QStringLiteral("Frame2"), QString(), hidden);

    Image1 = add(QStringLiteral("Image1"));
    Label11 = add(QStringLiteral("Label11"));
    Register = add(QStringLiteral("Register"));
    Query = add(QStringLiteral("Query"));
    Image2[1] = add(QStringLiteral("Image2_1"));
    Image10 = add(QStringLiteral("Image10"));
    Image2[0] = add(QStringLiteral("Image2_0"));
    Rough1 = add(QStringLiteral("Rough1"), QString(), hidden);
    Splits1 = add(QStringLiteral("Splits1"), QString(), hidden);
    Polish1 = add(QStringLiteral("Polish1"), QString(), hidden);
    Polish2 = add(QStringLiteral("Polish2"), QString(), hidden);
    Polish3 = add(QStringLiteral("Polish3"), QString(), hidden);
    Polish4 = add(QStringLiteral("Polish4"), QString(), hidden);
    Text8 = add(QStringLiteral("Text8"), QStringLiteral("StoneId"));
    Image7 = add(QStringLiteral("Image7"));
    Label19 = add(QStringLiteral("Label19"), QStringLiteral("Mc_ No :="));
    Label41 = add(QStringLiteral("Label41"));
    Label20 = add(QStringLiteral("Label20"), QStringLiteral("Mc_ID :="));
    Label18 = add(QStringLiteral("Label18"));
    Label21 = add(QStringLiteral("Label21"), QStringLiteral("Comp:="));
    Label22 = add(QStringLiteral("Label22"));
    Label23 = add(QStringLiteral("Label23"));
    Label24 = add(QStringLiteral("Label24"));
    Label25 = add(QStringLiteral("Label25"));
    Text9 = add(QStringLiteral("Text9"));
    Msg = add(QStringLiteral("Msg"), QStringLiteral("Message"));
    Text11 = add(QStringLiteral("Text11"));
    Shape1 = add(QStringLiteral("Shape1"));
    Shape1->setColour(Magenta);
    Msg1 = add(QStringLiteral("Msg1"), QStringLiteral("Message"));
    Image6 = add(QStringLiteral("Image6"), QString(), hidden);
    WaitLine = add(QStringLiteral("WaitLine"), QString(), hidden);

    Frame4 = add(QStringLiteral("Frame4"), QString(), hidden);
    Image4 = add(QStringLiteral("Image4"));
    Image8 = add(QStringLiteral("Image8"));
    Image5 = add(QStringLiteral("Image5"));
    Image9 = add(QStringLiteral("Image9"));
    Image3 = add(QStringLiteral("Image3"));
    Text2 = add(QStringLiteral("Text2"), QStringLiteral("320"), hidden);
    Command2 = add(QStringLiteral("Command2"), QStringLiteral("Up"), hidden);
    Text3 = add(QStringLiteral("Text3"), QStringLiteral("320"), hidden);
    Command3 = add(QStringLiteral("Command3"), QStringLiteral("Down"), hidden);

    Text12 = add(QStringLiteral("Text12"), QStringLiteral("300"));
    Text13 = add(QStringLiteral("Text13"), QStringLiteral("300"));
    Text1 = add(QStringLiteral("Text1"), QStringLiteral("50"));
    Text4 = add(QStringLiteral("Text4"), QStringLiteral("50"));
    Text5 = add(QStringLiteral("Text5"), QStringLiteral("15"));
    Text6 = add(QStringLiteral("Text6"), QStringLiteral("6"));
    Command1 = add(QStringLiteral("Command1"), QStringLiteral("Rx +"));
    Command6 = add(QStringLiteral("Command6"), QStringLiteral("Rx -"));

    Command4 = add(QStringLiteral("Command4"), QStringLiteral("INIT"));
    Command18 = add(QStringLiteral("Command18"), QStringLiteral("MoveInside"));
    Command19 = add(QStringLiteral("Command19"), QStringLiteral("Retract"));
    const QString modeCaptions[6] = {QStringLiteral("Rough"),         QStringLiteral("Polish"),
                                     QStringLiteral("Splits"),        QStringLiteral("Polish-Rough"),
                                     QStringLiteral("Polish-Splits"), QStringLiteral("Splits-Rough")};
    for (int i = 0; i < 6; ++i)
        Label14[i] = add(QStringLiteral("Label14_%1").arg(i), modeCaptions[i]);
    Label_R[0] = add(QStringLiteral("Label_R_0"), QStringLiteral("Register"));
    Label_Q[0] = add(QStringLiteral("Label_Q_0"), QStringLiteral("Query"));
    Label9 = add(QStringLiteral("Label9"), QStringLiteral("Folder Path"));

    Command5 = add(QStringLiteral("Command5"), QStringLiteral("Ref"));
    Command8 = add(QStringLiteral("Command8"), QStringLiteral("Measure"));
    Sample = add(QStringLiteral("Sample"), QStringLiteral("Measure Sample"));
    Reference = add(QStringLiteral("Reference"), QStringLiteral("Take Reference"));
    Command10 = add(QStringLiteral("Command10"), QStringLiteral("Save"));
    Command11 = add(QStringLiteral("Command11"), QStringLiteral("Unload"));
    Command9 = add(QStringLiteral("Command9"), QStringLiteral("Path"));
    Command7 = add(QStringLiteral("Command7"), QStringLiteral("START"));
    Exit = add(QStringLiteral("Exit"), QStringLiteral("Connect"));
    Command17 = add(QStringLiteral("Command17"), QStringLiteral("Command17"));
    Command20 = add(QStringLiteral("Command20"), QStringLiteral("Command20"));
    Command21 = add(QStringLiteral("Command21"), QStringLiteral("Command21"));
    Command22 = add(QStringLiteral("Command22"), QStringLiteral("Command22"));

    Command15 = add(QStringLiteral("Command15"), QStringLiteral("Internet"));
    cmdGetRequest = add(QStringLiteral("cmdGetRequest"), QStringLiteral("GetRequest"));
    cmdPostRequest = add(QStringLiteral("cmdPostRequest"), QStringLiteral("Token Generation"));
    Command14 = add(QStringLiteral("Command14"), QStringLiteral("Generate"));
    Command13 = add(QStringLiteral("Command13"), QStringLiteral("Upload Diamond"));
    Query_1 = add(QStringLiteral("Query_1"), QStringLiteral("Query OffLine"));
    Register_1 = add(QStringLiteral("Register_1"), QStringLiteral("Register OffLine"));
    for (int i = 0; i < 3; ++i)
        Text7[i] = add(QStringLiteral("Text7_%1").arg(i));
    Text10 = add(QStringLiteral("Text10"));
    Text20 = add(QStringLiteral("Text20"));
    ddeLink = add(QStringLiteral("ddeLink"));

    connect(Msg, &ConsoleControl::changed, this, [this] { emit msgChanged(Msg->text()); });
    connect(Msg1, &ConsoleControl::changed, this, [this] { emit msg1Changed(Msg1->text()); });
}

ConsoleControl* ConsoleModel::add(const QString& name, const QString& text, bool visible)
{
    auto* control = new ConsoleControl(name, this);
    control->setText(text);
    control->setVisible(visible);
    connect(control, &ConsoleControl::changed, this, [this, control] { emit changed(control); });
    m_controls.push_back(control);
    return control;
}

ConsoleControl* ConsoleModel::control(const QString& name) const
{
    for (ConsoleControl* c : m_controls) {
        if (c->objectName() == name)
            return c;
    }
    return nullptr;
}

void ConsoleModel::setCaption(const QString& caption)
{
    if (m_caption == caption)
        return;
    m_caption = caption;
    emit captionChanged(caption);
}

QRect ConsoleModel::windowTwips() const
{
    return m_windowTwips ? m_windowTwips()
                         : QRect(DesignLeftTwips, DesignTopTwips, DesignWidthTwips, DesignHeightTwips);
}

QSize ConsoleModel::screenTwips() const
{
    return m_screenTwips ? m_screenTwips() : QSize(1024 * 15, 768 * 15);
}

void ConsoleModel::setWindowGeometrySource(std::function<QRect()> windowTwips,
                                           std::function<QSize()> screenTwips)
{
    m_windowTwips = std::move(windowTwips);
    m_screenTwips = std::move(screenTwips);
}

void ConsoleModel::showWindow()
{
    m_windowShown = true;
    emit windowShownChanged(true);
}

void ConsoleModel::hideWindow()
{
    if (!m_windowShown)
        return;
    m_windowShown = false;
    emit windowShownChanged(false);
}
