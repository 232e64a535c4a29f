#include "bench/DialogDriver.h"

#include "ui/MsgBox_.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

DialogDriver::DialogDriver(bool closeSystemBoxes)
{
    MsgBox_& box = MsgBox_::instance();
    m_connection =
        connect(&box, &MsgBox_::questionShown, this,
                [this](const QString& message, const QString& title) { questionShown(message, title); });
    connect(&m_poll, &QTimer::timeout, this, &DialogDriver::pollSystemBoxes);
    if (closeSystemBoxes)
        m_poll.start(1);
}

DialogDriver::~DialogDriver()
{
    disconnect(m_connection);
}

DialogDriver& DialogDriver::expect(const QString& message, const QString& title, int answer,
                                   std::function<void()> before)
{
    m_script.push_back({message, title, answer, std::move(before)});
    return *this;
}

QStringList DialogDriver::askedTitles() const
{
    QStringList titles;
    for (const Asked& a : m_asked)
        titles << a.title;
    return titles;
}

QStringList DialogDriver::unexpected() const
{
    QStringList list;
    for (const Asked& a : m_asked)
        if (!a.expected)
            list << a.message + QStringLiteral(" | ") + a.title;
    return list;
}

void DialogDriver::questionShown(const QString& message, const QString& title)
{
    Asked asked{message, title, m_unexpectedAnswer, false};
    std::function<void()> before;
    if (!m_script.empty() && m_script.front().message == message && m_script.front().title == title) {
        asked.answer = m_script.front().answer;
        asked.expected = true;
        before = std::move(m_script.front().before);
        m_script.pop_front();
    }
    m_asked.push_back(asked);
    if (before)
        before();
    // Pressed from the dialog's own wait, as the operator would.
    const int answer = asked.answer;
    QTimer::singleShot(0, this, [answer] {
        MsgBox_& box = MsgBox_::instance();
        QPushButton* button = answer == Yes ? box.cmdOK : box.cmdCancel;
        if (box.isAsking())
            button->click();
    });
}

void DialogDriver::pollSystemBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible() || box->objectName() != QLatin1String("SystemMessageBox"))
            continue;
        const SystemBox shown{box->text(), box->windowTitle(), box->icon() != QMessageBox::NoIcon};
        m_systemBoxes.push_back(shown);
        QPointer<QMessageBox> guard(box);
        if (m_onSystemBox)
            m_onSystemBox(shown);
        if (guard && guard->button(QMessageBox::Ok))
            guard->button(QMessageBox::Ok)->click();
    }
}
