#include "ConsoleWindow.h"
#include "UiTestSupport.h"
#include "ui/CircleShape.h"
#include "ui/ClickableLabel.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class ViewBinding : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetStationState();
        env.addPictures();
        window = std::make_unique<ConsoleWindow>(env.make());
    }

    ConsoleEnvironment env;
    std::unique_ptr<ConsoleWindow> window;
};

TEST_F(ViewBinding, EveryControlOfTheModelHasItsWidgetUnderTheSameName)
{
    for (const ConsoleControl* control : window->model().controls()) {
        QWidget* widget = window->widgetOf(control);
        ASSERT_NE(widget, nullptr) << control->name().toStdString();
        EXPECT_EQ(widget->isHidden(), control->isHidden()) << control->name().toStdString();
        EXPECT_EQ(widget->isEnabled(), control->isEnabled()) << control->name().toStdString();
    }
    EXPECT_EQ(window->Command18->text(), "MoveInside");
    EXPECT_EQ(window->Label14[3]->text(), "Polish-Rough");
    EXPECT_EQ(window->Msg->toPlainText(), "Message");
}

TEST_F(ViewBinding, TheProgramsChangesShowAndTheOperatorsTypingReachesTheModel)
{
    ConsoleModel& m = window->model();
    m.Text7[1]->setText(QStringLiteral("scan 2"));
    m.setMsg1(QStringLiteral("Uploading"));
    m.Command19->setEnabled(false);
    m.Image6->show();
    m.Shape1->setColour(0x00FF00);
    m.Text11->setColour(255);
    EXPECT_EQ(window->Text7[1]->text(), "scan 2");
    EXPECT_EQ(window->Msg1->toPlainText(), "Uploading");
    EXPECT_FALSE(window->Command19->isEnabled());
    EXPECT_FALSE(window->Image6->isHidden());
    EXPECT_EQ(window->Shape1->fillColor(), 0x00FF00u);
    EXPECT_EQ(window->Text11->palette().color(QPalette::Text), QColor(255, 0, 0));
    m.Label14[2]->setColour(0x00FF00);
    EXPECT_EQ(window->Label14[2]->palette().color(QPalette::WindowText), QColor(0, 255, 0))
        << "a label draws its text in the window colour";

    window->Text8->setFocus();
    window->Text8->selectAll();
    for (const QChar c : QStringLiteral("LOT-9")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(window->Text8, &key);
    }
    EXPECT_EQ(m.Text8->text(), "LOT-9");
    window->Msg->setPlainText(QStringLiteral("typed"));
    EXPECT_EQ(m.msgText(), "typed");

    // A reply longer than a box shows is kept whole in the model.
    const QString reply(40000, u'7');
    m.Text10->setText(reply);
    EXPECT_EQ(m.Text10->text(), reply);
    m.Text7[0]->setText(reply);
    EXPECT_EQ(window->Text7[0]->text(), reply);
}

TEST_F(ViewBinding, ClicksAndEnterReachTheirHandlersAndMovesUseTwips)
{
    ConsoleModel& m = window->model();
    QStringList seen;
    QObject::connect(m.Command18, &ConsoleControl::clicked, [&] { seen << "Command18"; });
    QObject::connect(m.Rough1, &ConsoleControl::clicked, [&] { seen << "Rough1"; });
    QObject::connect(m.Text8, &ConsoleControl::enterPressed, [&] { seen << "Enter"; });
    window->Command18->click();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(window->Rough1, &press);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window->Text8, &enter);
    EXPECT_EQ(seen, (QStringList{"Command18", "Rough1", "Enter"}));

    window->console.Register_Click();
    EXPECT_EQ(window->Rough1->x(), Twips(window.get()).x(2000));
    EXPECT_FALSE(window->Rough1->isHidden());
    EXPECT_TRUE(window->Polish2->isHidden());
    EXPECT_TRUE(window->Register->pictureFile().endsWith("register1.jpg"));
}

TEST_F(ViewBinding, ClosingTheWindowRunsTheUnloadUnlessItIsRefused)
{
    bool refuse = true;
    window->console.hooks().confirmUnload = [&] { return !refuse; };
    SystemBoxCloser boxes;
    window->console.Form_Load();
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->console.hasEnded());
    refuse = false;
    window->model().requestClose();
    EXPECT_TRUE(window->console.hasEnded());
    EXPECT_FALSE(window->isVisible());
}

} // namespace
