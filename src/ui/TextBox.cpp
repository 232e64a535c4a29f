#include "ui/TextBox.h"

#include <QKeyEvent>
#include <QTimer>

TextBox::TextBox(QWidget* parent) : TextBox(QString(), parent) {}

TextBox::TextBox(const QString& text, QWidget* parent) : QLineEdit(text, parent)
{
    // A value the program shows reads from its start.
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (m_showStart && !m_typing)
            setCursorPosition(0);
    });
}

void TextBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (m_selectAllOnFocus) {
        // After the mouse press that gave the focus has placed the cursor.
        QTimer::singleShot(0, this, [this] { setSelection(0, static_cast<int>(text().size())); });
        setSelection(0, static_cast<int>(text().size()));
    }
}

void TextBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        return;
    }
    m_typing = true;
    QLineEdit::keyPressEvent(event);
    m_typing = false;
}
