#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The station's own yes/no dialog: borderless, dark, rounded, always on top. One instance for
// the whole run, created on first use and kept hidden between questions.
class MsgBox_ : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ResultYes = 6;
    static constexpr int ResultNo = 7;

    static MsgBox_& instance();

    // Shows message and title (below the buttons), modal on the event loop; returns 6 for
    // "OK - YES", 7 for "Cancel - NO" (also for Escape and a window-system close).
    // buttons is accepted and ignored: both buttons are always offered.
    int ShowMessage(const QString& message, int buttons, const QString& title);

    // Places the dialog centred over a window (geometry in pixels).
    void centreOver(const QRect& windowFrame);

    QLabel* lblMessage = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* Lbl_Msg2 = nullptr;

    int result() const { return m_result; }
    bool isAsking() const { return m_asking; }

signals:
    // Emitted once the dialog is visible with its texts, before waiting for the answer.
    void questionShown(const QString& message, const QString& title);
    void answered();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    MsgBox_();
    void answer(int code);

    int m_result = 0;
    int m_depth = 0;         // questions open, the innermost shown
    int m_answeredDepth = 0; // which of them the last answer belongs to
    bool m_asking = false;
    bool m_everShown = false;
};
