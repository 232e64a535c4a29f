#include "ui/TextBox.h"

#include <QKeyEvent>
#include <QTimer>

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
    QLineEdit::keyPressEvent(event);
}
