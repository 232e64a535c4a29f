#pragma once

#include "core/ConsoleControl.h"

#include <QObject>
#include <QRect>
#include <QSize>

#include <array>
#include <functional>

// The state of the console's controls, as the program reads and writes them, under their design
// names; the window is only its view. Values the station keeps "in a control" (Text7(0..2),
// Text10, Text20, the stage indicator Command18/Command19/Image8/Image5) live here.
class ConsoleModel : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleModel(QObject* parent = nullptr);

    // Every control, in design order.
    const QList<ConsoleControl*>& controls() const { return m_controls; }
    ConsoleControl* control(const QString& name) const;

    // Message lines: always set whole.
    void setMsg(const QString& text) { Msg->setText(text); }
    void setMsg1(const QString& text) { Msg1->setText(text); }
    QString msgText() const { return Msg->text(); }
    QString msg1Text() const { return Msg1->text(); }

    // The window's title.
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);

    // The window itself: where it is and how large the screen is, in twips. Without a window the
    // design's place and a 1024 x 768 pixel screen at 96 DPI stand.
    QRect windowTwips() const;
    QSize screenTwips() const;
    void setWindowGeometrySource(std::function<QRect()> windowTwips, std::function<QSize()> screenTwips);
    bool isWindowShown() const { return m_windowShown; }
    // Lays the window out in the stored window mode and shows it, or hides it.
    void showWindow();
    void hideWindow();
    // Asks the window to close, as the operator's close would (the unload runs).
    void requestClose() { emit closeRequested(); }

    // Panels
    ConsoleControl* Frame1;
    ConsoleControl* Frame2;
    ConsoleControl* Frame3;
    ConsoleControl* Frame4;

    // Operator controls
    ConsoleControl* Image1;
    ConsoleControl* Label11;
    ConsoleControl* Register;
    ConsoleControl* Query;
    std::array<ConsoleControl*, 2> Image2{};
    ConsoleControl* Image10;
    ConsoleControl* Rough1;
    ConsoleControl* Splits1;
    ConsoleControl* Polish1;
    ConsoleControl* Polish2;
    ConsoleControl* Polish3;
    ConsoleControl* Polish4;
    ConsoleControl* Text8;
    ConsoleControl* Image7;
    ConsoleControl* Label19;
    ConsoleControl* Label41;
    ConsoleControl* Label20;
    ConsoleControl* Label18;
    ConsoleControl* Label21;
    ConsoleControl* Label22;
    ConsoleControl* Label23;
    ConsoleControl* Label24;
    ConsoleControl* Label25;
    ConsoleControl* Text9;
    ConsoleControl* Msg;
    ConsoleControl* Text11;
    ConsoleControl* Shape1;
    ConsoleControl* Msg1;
    ConsoleControl* Image6;
    // What the station waits for while a call is in flight (not a design control).
    ConsoleControl* WaitLine;

    // Settings strip and up/down controls
    ConsoleControl* Image4;
    ConsoleControl* Image8;
    ConsoleControl* Image5;
    ConsoleControl* Image9;
    ConsoleControl* Image3;
    ConsoleControl* Text2;
    ConsoleControl* Command2;
    ConsoleControl* Text3;
    ConsoleControl* Command3;

    // Motion parameter boxes (Frame1)
    ConsoleControl* Text12;
    ConsoleControl* Text13;
    ConsoleControl* Text1;
    ConsoleControl* Text4;
    ConsoleControl* Text5;
    ConsoleControl* Text6;
    ConsoleControl* Command1;
    ConsoleControl* Command6;

    // Named actions and value holders (Frame2, never shown)
    ConsoleControl* Command4;
    ConsoleControl* Command18;
    ConsoleControl* Command19;
    std::array<ConsoleControl*, 6> Label14{};
    std::array<ConsoleControl*, 1> Label_R{};
    std::array<ConsoleControl*, 1> Label_Q{};
    ConsoleControl* Label9;
    ConsoleControl* Command5;
    ConsoleControl* Command8;
    ConsoleControl* Sample;
    ConsoleControl* Reference;
    ConsoleControl* Command10;
    ConsoleControl* Command11;
    ConsoleControl* Command9;
    ConsoleControl* Command7;
    ConsoleControl* Exit;
    ConsoleControl* Command17;
    ConsoleControl* Command20;
    ConsoleControl* Command21;
    ConsoleControl* Command22;
    ConsoleControl* Command15;
    ConsoleControl* cmdGetRequest;
    ConsoleControl* cmdPostRequest;
    ConsoleControl* Command14;
    ConsoleControl* Command13;
    ConsoleControl* Query_1;
    ConsoleControl* Register_1;
    std::array<ConsoleControl*, 3> Text7{};
    ConsoleControl* Text10;
    ConsoleControl* Text20;
    ConsoleControl* ddeLink;

signals:
    // A control's state changed (its text, visibility, enabling, picture, colour or place).
    void changed(ConsoleControl* control);
    // A line of Msg or Msg1 was set (for the demo's transcript and tests).
    void msgChanged(const QString& text);
    void msg1Changed(const QString& text);
    void captionChanged(const QString& caption);
    void windowShownChanged(bool shown);
    void closeRequested();

private:
    ConsoleControl* add(const QString& name, const QString& text = QString(), bool visible = true);

    QList<ConsoleControl*> m_controls;
    QString m_caption;
    bool m_windowShown = false;
    std::function<QRect()> m_windowTwips;
    std::function<QSize()> m_screenTwips;
};
