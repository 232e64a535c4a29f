#pragma once

#include <QWidget>

#include <array>

class ClickableLabel;
class CircleShape;
class ConsoleControl;
class ConsoleModel;
class PictureBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class StationConsole;
class TextBox;

// The operator console's window: the view of the console model. It builds the controls at their
// design places under their design names (array members as "Label14_3"), shows the model's state,
// and hands the operator's typing, clicks and keys back to the model and the console.
class Frmgrading : public QWidget
{
    Q_OBJECT
public:
    Frmgrading(ConsoleModel& model, StationConsole& console, QWidget* parent = nullptr);
    ~Frmgrading() override;

    ConsoleModel& model() const { return m_model; }
    // The widget showing a control of the model.
    QWidget* widgetOf(const ConsoleControl* control) const;

    QRect windowTwips() const; // left, top, width, height of the window in twips

    // Panels
    QFrame* Frame1 = nullptr;
    QFrame* Frame2 = nullptr;
    QFrame* Frame3 = nullptr;
    QFrame* Frame4 = nullptr;

    // Operator controls
    PictureBox* Image1 = nullptr;
    ClickableLabel* Label11 = nullptr;
    PictureBox* Register = nullptr;
    PictureBox* Query = nullptr;
    std::array<PictureBox*, 2> Image2{};
    PictureBox* Image10 = nullptr;
    PictureBox* Rough1 = nullptr;
    PictureBox* Splits1 = nullptr;
    PictureBox* Polish1 = nullptr;
    PictureBox* Polish2 = nullptr;
    PictureBox* Polish3 = nullptr;
    PictureBox* Polish4 = nullptr;
    TextBox* Text8 = nullptr;
    PictureBox* Image7 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* Label41 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label21 = nullptr;
    QLabel* Label22 = nullptr;
    TextBox* Text9 = nullptr;
    QPlainTextEdit* Msg = nullptr;
    TextBox* Text11 = nullptr;
    CircleShape* Shape1 = nullptr;
    QPlainTextEdit* Msg1 = nullptr;
    PictureBox* Image6 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* WaitLine = nullptr;

    // Settings strip and up/down controls
    PictureBox* Image8 = nullptr;
    PictureBox* Image5 = nullptr;
    PictureBox* Image9 = nullptr;
    PictureBox* Image4 = nullptr;
    PictureBox* Image3 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    TextBox* Text2 = nullptr;
    TextBox* Text3 = nullptr;

    // Motion parameter boxes (Frame1)
    TextBox* Text12 = nullptr;
    TextBox* Text13 = nullptr;
    TextBox* Text1 = nullptr;
    TextBox* Text4 = nullptr;
    TextBox* Text5 = nullptr;
    TextBox* Text6 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command6 = nullptr;

    // Named actions and value holders (Frame2, never shown)
    QPushButton* Command4 = nullptr;
    QPushButton* Command18 = nullptr;
    QPushButton* Command19 = nullptr;
    std::array<ClickableLabel*, 6> Label14{};
    std::array<ClickableLabel*, 1> Label_R{};
    std::array<ClickableLabel*, 1> Label_Q{};
    QPushButton* Command5 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command17 = nullptr;
    QPushButton* Command20 = nullptr;
    QPushButton* Command21 = nullptr;
    QPushButton* Command22 = nullptr;
    QPushButton* Exit = nullptr;
    QPushButton* Sample = nullptr;
    QPushButton* Reference = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command13 = nullptr;
    QPushButton* Command14 = nullptr;
    QPushButton* Command15 = nullptr;
    QPushButton* cmdGetRequest = nullptr;
    QPushButton* cmdPostRequest = nullptr;
    QPushButton* Query_1 = nullptr;
    QPushButton* Register_1 = nullptr;
    ClickableLabel* Label9 = nullptr;
    std::array<TextBox*, 3> Text7{};
    TextBox* Text10 = nullptr;
    TextBox* Text20 = nullptr;
    QPlainTextEdit* ddeLink = nullptr;

signals:
    // The operator pressed F9: the spectrum window, which lies outside the console's design.
    void spectrumWindowRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void bindControls();
    void bind(ConsoleControl* control, QWidget* widget);
    void render(ConsoleControl* control, QWidget* widget);
    void layOutWindow();

    ConsoleModel& m_model;
    StationConsole& m_console;
    bool m_rendering = false;
};
