#pragma once

#include <QLineEdit>

// A single-line text box. With selectAllOnFocus the whole text is selected when the focus enters,
// so the next scan replaces it.
class TextBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);
    TextBox(const QString& text, QWidget* parent = nullptr);

    void setSelectAllOnFocus(bool on) { m_selectAllOnFocus = on; }
    // Text set by the program is shown from its start rather than its end.
    void setShowStart(bool on) { m_showStart = on; }

signals:
    void enterPressed();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_selectAllOnFocus = false;
    bool m_typing = false;
    bool m_showStart = false;
};
