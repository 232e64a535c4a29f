#include "ui/Frmgrading.h"

#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "ui/CircleShape.h"
#include "ui/ClickableLabel.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QScopedValueRollback>
#include <QScreen>

namespace {

constexpr int DesignWidthTwips = 8000;
constexpr int DesignHeightTwips = 5300;

// A stored colour has red in the low byte.
QColor fromStoredColour(quint32 colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

} // namespace

Frmgrading::Frmgrading(ConsoleModel& model, StationConsole& console, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_model(model)
    , m_console(console)
{
    setObjectName(QStringLiteral("frmgrading"));
    setWindowTitle(model.caption());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(65, 65, 65));
    setPalette(pal);

    buildControls();
    bindControls();

    connect(&model, &ConsoleModel::captionChanged, this, &QWidget::setWindowTitle);
    connect(&model, &ConsoleModel::windowShownChanged, this, [this](bool shown) {
        if (!shown) {
            hide();
            return;
        }
        layOutWindow();
        QWidget::show();
    });
    connect(&model, &ConsoleModel::closeRequested, this, &QWidget::close);
    model.setWindowGeometrySource([this] { return windowTwips(); },
                                  [this] {
                                      QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
                                      const QRect px = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
                                      return QSize(qRound(pixelsToTwipsX(px.width())),
                                                   qRound(pixelsToTwipsY(px.height())));
                                  });

    qApp->installEventFilter(this);
}

Frmgrading::~Frmgrading()
{
    qApp->removeEventFilter(this);
    m_model.setWindowGeometrySource({}, {});
}

void Frmgrading::bindControls()
{
    ConsoleModel& m = m_model;
    const std::pair<ConsoleControl*, QWidget*> pairs[] = {{m.Frame1, Frame1},
                                                          {m.Frame2, Frame2},
                                                          {m.Frame3, Frame3},
                                                          {m.Frame4, Frame4},
                                                          {m.Image1, Image1},
                                                          {m.Label11, Label11},
                                                          {m.Register, Register},
                                                          {m.Query, Query},
                                                          {m.Image2[0], Image2[0]},
                                                          {m.Image2[1], Image2[1]},
                                                          {m.Image10, Image10},
                                                          {m.Rough1, Rough1},
                                                          {m.Splits1, Splits1},
                                                          {m.Polish1, Polish1},
                                                          {m.Polish2, Polish2},
                                                          {m.Polish3, Polish3},
                                                          {m.Polish4, Polish4},
                                                          {m.Text8, Text8},
                                                          {m.Image7, Image7},
                                                          {m.Label19, Label19},
                                                          {m.Label41, Label41},
                                                          {m.Label20, Label20},
                                                          {m.Label18, Label18},
                                                          {m.Label21, Label21},
                                                          {m.Label22, Label22},
                                                          {m.Label23, Label23},
                                                          {m.Label24, Label24},
                                                          {m.Label25, Label25},
                                                          {m.Text9, Text9},
                                                          {m.Msg, Msg},
                                                          {m.Text11, Text11},
                                                          {m.Shape1, Shape1},
                                                          {m.Msg1, Msg1},
                                                          {m.Image6, Image6},
                                                          {m.WaitLine, WaitLine},
                                                          {m.Image4, Image4},
                                                          {m.Image8, Image8},
                                                          {m.Image5, Image5},
                                                          {m.Image9, Image9},
                                                          {m.Image3, Image3},
                                                          {m.Text2, Text2},
                                                          {m.Command2, Command2},
                                                          {m.Text3, Text3},
                                                          {m.Command3, Command3},
                                                          {m.Text12, Text12},
                                                          {m.Text13, Text13},
                                                          {m.Text1, Text1},
                                                          {m.Text4, Text4},
                                                          {m.Text5, Text5},
                                                          {m.Text6, Text6},
                                                          {m.Command1, Command1},
                                                          {m.Command6, Command6},
                                                          {m.Command4, Command4},
                                                          {m.Command18, Command18},
                                                          {m.Command19, Command19},
                                                          {m.Label_R[0], Label_R[0]},
                                                          {m.Label_Q[0], Label_Q[0]},
                                                          {m.Label9, Label9},
                                                          {m.Command5, Command5},
                                                          {m.Command8, Command8},
                                                          {m.Sample, Sample},
                                                          {m.Reference, Reference},
                                                          {m.Command10, Command10},
                                                          {m.Command11, Command11},
                                                          {m.Command9, Command9},
                                                          {m.Command7, Command7},
                                                          {m.Exit, Exit},
                                                          {m.Command17, Command17},
                                                          {m.Command20, Command20},
                                                          {m.Command21, Command21},
                                                          {m.Command22, Command22},
                                                          {m.Command15, Command15},
                                                          {m.cmdGetRequest, cmdGetRequest},
                                                          {m.cmdPostRequest, cmdPostRequest},
                                                          {m.Command14, Command14},
                                                          {m.Command13, Command13},
                                                          {m.Query_1, Query_1},
                                                          {m.Register_1, Register_1},
                                                          {m.Text7[0], Text7[0]},
                                                          {m.Text7[1], Text7[1]},
                                                          {m.Text7[2], Text7[2]},
                                                          {m.Text10, Text10},
                                                          {m.Text20, Text20},
                                                          {m.ddeLink, ddeLink}};
    for (const auto& [control, widget] : pairs)
        bind(control, widget);
    for (int i = 0; i < 6; ++i)
        bind(m.Label14[i], Label14[i]);
}

QWidget* Frmgrading::widgetOf(const ConsoleControl* control) const
{
    return control ? findChild<QWidget*>(control->name()) : nullptr;
}

void Frmgrading::bind(ConsoleControl* control, QWidget* widget)
{
    Q_ASSERT(widget->objectName() == control->name());
    render(control, widget);
    connect(control, &ConsoleControl::changed, widget, [this, control, widget] { render(control, widget); });
    connect(control, &ConsoleControl::focusRequested, widget, [widget] { widget->setFocus(); });
    connect(control, &ConsoleControl::raiseRequested, widget, &QWidget::raise);

    // What the operator (or anything else) changes in a widget goes back to the model; what the
    // model itself shows does not, so a widget's own limits never rewrite a stored value.
    if (auto* box = qobject_cast<TextBox*>(widget)) {
        connect(box, &QLineEdit::textChanged, control, [this, control](const QString& text) {
            if (!m_rendering)
                control->setText(text);
        });
        connect(box, &TextBox::enterPressed, control, &ConsoleControl::pressEnter);
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
        connect(lines, &QPlainTextEdit::textChanged, control, [this, control, lines] {
            if (!m_rendering)
                control->setText(lines->toPlainText());
        });
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        connect(button, &QPushButton::clicked, control, &ConsoleControl::click);
    } else if (auto* picture = qobject_cast<PictureBox*>(widget)) {
        connect(picture, &PictureBox::clicked, control, &ConsoleControl::click);
    } else if (auto* label = qobject_cast<ClickableLabel*>(widget)) {
        connect(label, &ClickableLabel::clicked, control, &ConsoleControl::click);
    }
}

void Frmgrading::render(ConsoleControl* control, QWidget* widget)
{
    const QScopedValueRollback rendering(m_rendering, true);
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        if (box->text() != control->text())
            box->setText(control->text());
    } else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
        if (lines->toPlainText() != control->text())
            lines->setPlainText(control->text());
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(control->text());
    } else if (auto* picture = qobject_cast<PictureBox*>(widget)) {
        if (!control->picture().isEmpty() && picture->pictureFile() != control->picture())
            picture->loadPicture(control->picture());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text() != control->text())
            label->setText(control->text());
    }
    if (const auto colour = control->colour()) {
        if (auto* shape = qobject_cast<CircleShape*>(widget)) {
            shape->setFillColor(*colour);
        } else {
            QPalette p = widget->palette();
            p.setColor(QPalette::Text, fromStoredColour(*colour));
            p.setColor(QPalette::WindowText, fromStoredColour(*colour));
            widget->setPalette(p);
            widget->setProperty("ForeColor", *colour);
        }
    }
    if (control->left() || control->top()) {
        const Twips tw(this);
        widget->move(control->left() ? tw.x(*control->left()) : widget->x(),
                     control->top() ? tw.y(*control->top()) : widget->y());
    }
    // The widget's own setting: a control inside a disabled frame stays disabled, as it always did.
    widget->setEnabled(control->isEnabled());
    if (widget->isHidden() == control->isVisible())
        widget->setVisible(control->isVisible());
}

// ---- geometry

int Frmgrading::twipsToPixelsX(double twips) const
{
    return Twips(this).x(twips);
}

int Frmgrading::twipsToPixelsY(double twips) const
{
    return Twips(this).y(twips);
}

double Frmgrading::pixelsToTwipsX(int pixels) const
{
    return Twips(this).fromX(pixels);
}

double Frmgrading::pixelsToTwipsY(int pixels) const
{
    return Twips(this).fromY(pixels);
}

void Frmgrading::placeTwips(QWidget* control, int left, int top, int width, int height) const
{
    control->setGeometry(Twips(this).rect(left, top, width, height));
}

QRect Frmgrading::windowTwips() const
{
    const QRect g = frameGeometry();
    return QRect(qRound(pixelsToTwipsX(g.x())), qRound(pixelsToTwipsY(g.y())),
                 qRound(pixelsToTwipsX(g.width())), qRound(pixelsToTwipsY(g.height())));
}

void Frmgrading::layOutWindow()
{
    const StationState& s = stationState();
    const Twips tw(this);
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect screenPx = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
    const StoredValue& mode = s.WindowMode;

    if (mode.isEmpty() || mode.equals(0)) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        move(0, 0);
        resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
        move(screenPx.x() + (screenPx.width() - width()) / 2,
             screenPx.y() + (screenPx.height() - height()) / 2);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(0, 0, width(), height()), 10, 10);
        setMask(QRegion(outline.toFillPolygon().toPolygon()));
    } else if (mode.equals(1) || mode.equals(3)) {
        resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
        move(tw.x(s.WindowLeft.toNumber()), tw.y(s.WindowTop.toNumber()));
    } else if (mode.equals(2)) {
        const int heightPx = screenPx.height() - tw.y(100);
        setGeometry(screenPx.x(), screenPx.y(), screenPx.width(), heightPx);
        // Centred on the screen, not in the window, which is 100 twips shorter.
        Frame3->move((screenPx.width() - Frame3->width()) / 2, (screenPx.height() - Frame3->height()) / 2);
        setWindowState(Qt::WindowNoState);
    }
    // Any other value keeps the design geometry.
}

// ---- the operator's window actions

void Frmgrading::closeEvent(QCloseEvent* event)
{
    if (m_console.requestUnload())
        event->accept();
    else
        event->ignore();
}

bool Frmgrading::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees every key first, whichever of its controls has the focus.
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)) && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && !key->isAutoRepeat())
                m_console.Form_KeyPress(27);
        }
    }
    return QWidget::eventFilter(watched, event);
}
