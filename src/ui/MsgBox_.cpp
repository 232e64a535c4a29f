#include "ui/MsgBox_.h"

#include "ui/Twips.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QRegion>

namespace {

QFont timesFont(double points, bool bold)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

MsgBox_& MsgBox_::instance()
{
    // Created on first use and kept, hidden, for the rest of the run.
    static MsgBox_* dialog = new MsgBox_();
    return *dialog;
}

MsgBox_::MsgBox_()
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("MsgBox_"));
    setWindowTitle(QStringLiteral("MsgBox"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(69, 69, 69));
    setPalette(pal);
    const Twips twips(this);
    setFixedSize(twips.x(4785), twips.y(1875));

    auto makeLabel = [&](const char* name, QColor text, int top) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        QPalette p = label->palette();
        p.setColor(QPalette::Window, QColor(65, 65, 65));
        p.setColor(QPalette::WindowText, text);
        label->setPalette(p);
        label->setFont(timesFont(8.25, false));
        label->setGeometry(twips.rect(360, top, 3975, 255));
        return label;
    };
    lblMessage = makeLabel("lblMessage", QColor(255, 255, 255), 240);
    Lbl_Msg2 = makeLabel("Lbl_Msg2", QColor(255, 255, 128), 1440);

    auto makeButton = [&](const char* name, const QString& caption, QColor back, double points, int left,
                          int width) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setFont(timesFont(points, true));
        button->setStyleSheet(QStringLiteral("background-color: %1; color: black;").arg(back.name()));
        button->setGeometry(twips.rect(left, 720, width, 375));
        button->setAutoDefault(true);
        return button;
    };
    cmdOK = makeButton("cmdOK", QStringLiteral("OK - YES"), QColor(0, 255, 0), 9.75, 840, 1125);
    cmdCancel =
        makeButton("cmdCancel", QStringLiteral("Cancel - NO"), QColor(255, 192, 128), 8.25, 2640, 1485);
    connect(cmdOK, &QPushButton::clicked, this, [this] { answer(ResultYes); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { answer(ResultNo); });

    for (int top : {600, 1260}) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setStyleSheet(QStringLiteral("color: rgb(85, 85, 85); background-color: rgb(85, 85, 85);"));
        line->setGeometry(twips.rect(240, top, 4305, 15));
    }

    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, width(), height()), 10, 10);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    move(0, 0);
}

void MsgBox_::centreOver(const QRect& windowFrame)
{
    move(windowFrame.left() + (windowFrame.width() - width()) / 2,
         windowFrame.top() + (windowFrame.height() - height()) / 2);
}

int MsgBox_::ShowMessage(const QString& message, int buttons, const QString& title)
{
    Q_UNUSED(buttons);
    // A question asked from a handler nested in another question's wait takes over the dialog and
    // gives it back with the outer texts when answered.
    const QString outerMessage = lblMessage->text();
    const QString outerTitle = Lbl_Msg2->text();
    const int depth = ++m_depth;

    lblMessage->setText(message);
    Lbl_Msg2->setText(title);
    m_asking = true;
    m_everShown = true;
    show();
    raise();
    activateWindow();
    cmdOK->setFocus();
    emit questionShown(message, title);

    // Only this question's answer ends this wait: an answer to a nested one belongs to that one.
    QEventLoop loop;
    int code = 0;
    const auto stop = connect(this, &MsgBox_::answered, &loop, [this, depth, &code, &loop] {
        if (m_answeredDepth == depth) {
            code = m_result;
            loop.quit();
        }
    });
    loop.exec();
    disconnect(stop);

    --m_depth;
    if (m_depth > 0) {
        lblMessage->setText(outerMessage);
        Lbl_Msg2->setText(outerTitle);
        m_asking = true;
        show();
    } else {
        m_asking = false;
        hide();
    }
    return code;
}

void MsgBox_::answer(int code)
{
    if (!m_asking)
        return;
    m_result = code;
    m_answeredDepth = m_depth;
    m_asking = false;
    emit answered();
}

void MsgBox_::keyPressEvent(QKeyEvent* event)
{
    // Escape answers "Cancel - NO"; Enter presses the focused button (auto-default).
    if (event->key() == Qt::Key_Escape) {
        answer(ResultNo);
        return;
    }
    QDialog::keyPressEvent(event);
}

void MsgBox_::closeEvent(QCloseEvent* event)
{
    // Only the window system can close it; that counts as "Cancel - NO" and the dialog stays ours.
    event->ignore();
    answer(ResultNo);
}
