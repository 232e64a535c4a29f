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
                                      const Twips tw(this);
                                      return QSize(qRound(tw.fromX(px.width())),
                                                   qRound(tw.fromY(px.height())));
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
    // Every control of the model has its widget under the same object name.
    for (ConsoleControl* control : m_model.controls()) {
        QWidget* widget = widgetOf(control);
        Q_ASSERT(widget);
        if (widget)
            bind(control, widget);
    }
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

QRect Frmgrading::windowTwips() const
{
    const Twips tw(this);
    const QRect g = frameGeometry();
    return QRect(qRound(tw.fromX(g.x())), qRound(tw.fromY(g.y())), qRound(tw.fromX(g.width())),
                 qRound(tw.fromY(g.height())));
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
            // A key the console and the barcode reader never use.
            if (key->key() == Qt::Key_F9 && !key->isAutoRepeat())
                emit spectrumWindowRequested();
        }
    }
    return QWidget::eventFilter(watched, event);
}
