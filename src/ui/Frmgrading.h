#pragma once

#include "core/Clock.h"
#include "core/StationConfigFile.h"
#include "core/StationEnvironment.h"
#include "core/StationTimer.h"

#include <QMessageBox>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class ClickableLabel;
class CircleShape;
class ConsoleStatus;
class PictureBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSerialPort;
class SpectrometerLink;
class TextBox;

// The operator console. Controls keep their design names, as members and as object names
// (array members as "Label14_3"), so the subsystems and tests find them. Subsystems above the
// console connect to the controls' signals and hand in the few callbacks the console needs.
class Frmgrading : public QWidget
{
    Q_OBJECT
public:
    // What the console must start in higher layers.
    struct Hooks
    {
        std::function<void(const QString& topic)> connectToServer; // spectrometer link
        std::function<void()> Image1_Click;                        // health check
        std::function<void()> Label_R_Click;                       // registration sequence
        std::function<void()> Label_Q_Click;                       // query sequence
        // Asked before the window unloads; false keeps the window open.
        std::function<bool()> confirmUnload;
        // Rebuilds the measure-sample command after the data folder changed.
        std::function<void()> BuildMeasureSampleCommand;
    };

    explicit Frmgrading(StationEnvironment environment, QWidget* parent = nullptr);
    ~Frmgrading() override;

    const StationEnvironment& environment() const { return m_env; }
    const Clock& clock() const { return m_clock; }
    Hooks& hooks() { return m_hooks; }
    SpectrometerLink* link() const { return m_link.get(); }
    // The wait of a call in flight and the progress of a sequence, beside the designed controls.
    ConsoleStatus& status() const { return *m_status; }

    // Start-up and shutdown
    void Form_Load();
    void Form_Unload();
    void LoadStationConfig();
    void SaveStationConfig();
    void CheckControllerPort();
    void Timer3_Timer();
    void Timer4_Timer();
    void Timer8_Timer();
    // Runs the program's command line, if any, minimised without waiting.
    void runCommandLine();
    bool hasEnded() const { return m_ended; }

    // Screen states and console actions
    void LockConsole();
    void UnlockConsole();
    void Image7_Click();
    void Form_KeyPress(int key);
    void Label11_Click();
    void Label9_Click();
    void Image3_Click();
    void Register_Click();
    void Query_Click();

    // Waits: yield to the event loop for ticks x intervalMs (nominal), writing text into Msg
    // before every yield when given. beforeYield runs before every yield; abortIf is tested before
    // and after every yield and ends the wait early (returns false). Waits nest safely: an inner
    // wait pauses the outer one's count and restores it when it ends.
    bool TimedWait(int ticks, int intervalMs = 1000, const QString& text = QString(),
                   const std::function<void()>& beforeYield = {}, const std::function<bool()>& abortIf = {});
    bool isWaiting() const { return !m_waitStack.empty(); }
    int AskOperator(const QString& message, const QString& title);

    // The system's message box with one OK button; an icon only where one is asked for.
    void showSystemMessage(const QString& text, const QString& title,
                           QMessageBox::Icon icon = QMessageBox::NoIcon);

    // Message lines: always set whole.
    void setMsg(const QString& text);
    void setMsg1(const QString& text);
    QString msgText() const;
    QString msg1Text() const;

    // Loads a picture file from the program's folder ("\register.jpg" style names accepted).
    bool loadPicture(PictureBox* picture, const QString& name);
    QString programFile(const QString& name) const;

    // Twips <-> pixels with the screen's logical DPI (15 twips per pixel at 96 DPI).
    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;
    double pixelsToTwipsX(int pixels) const;
    double pixelsToTwipsY(int pixels) const;
    void placeTwips(QWidget* control, int left, int top, int width, int height) const;
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

    QSerialPort* MSComm1 = nullptr;

    StationTimer* Timer1 = nullptr;
    StationTimer* Timer2 = nullptr;
    StationTimer* Timer3 = nullptr;
    StationTimer* Timer4 = nullptr;
    StationTimer* Timer5 = nullptr;
    StationTimer* Timer7 = nullptr;
    StationTimer* Timer8 = nullptr;

signals:
    // The program has ended (after the unload procedure, or by the controller watchdog).
    void ended();
    // A line of Msg or Msg1 was set (for the demo's transcript and tests).
    void msgChanged(const QString& text);
    void msg1Changed(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct WaitFrame
    {
        int ticks = 0;
        int intervalMs = 1000;
        qint16 savedTicks = 0;
    };

    void buildControls();
    void layOutWindow();
    void endProgram();

    StationEnvironment m_env;
    Clock m_clock;
    Hooks m_hooks;
    std::unique_ptr<SpectrometerLink> m_link;
    ConsoleStatus* m_status = nullptr;
    std::vector<WaitFrame> m_waitStack;
    bool m_unloading = false;
    bool m_ended = false;
    bool m_configFileExisted = false;
    StationConfigFile::Encoding m_configEncoding = StationConfigFile::Encoding::Windows1252;
};
