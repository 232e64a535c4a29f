#pragma once

#include <QObject>
#include <QString>

#include <optional>

// What the program reads and writes of one control of the console. The window shows it and hands
// the operator's clicks, keys and typing back to it; nothing here needs a window to exist.
class ConsoleControl : public QObject
{
    Q_OBJECT
public:
    // name: the control's object name in the window ("Text7_0" for Text7(0)).
    explicit ConsoleControl(const QString& name, QObject* parent = nullptr);

    QString name() const { return objectName(); }

    // Text of a box, caption of a label or button.
    QString text() const { return m_text; }
    void setText(const QString& text);
    void clear() { setText(QString()); }

    // The control's own Visible and Enabled, whatever its container's.
    bool isVisible() const { return m_visible; }
    bool isHidden() const { return !m_visible; }
    void setVisible(bool visible);
    void show() { setVisible(true); }
    void hide() { setVisible(false); }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // The picture file shown. Loading a missing or unreadable file fails and keeps the one shown.
    QString picture() const { return m_picture; }
    bool loadPicture(const QString& path);

    // ForeColor of a text, FillColor of a shape: a 32-bit value with red in the low byte. Empty
    // while the design's colour stands.
    std::optional<quint32> colour() const { return m_colour; }
    void setColour(quint32 colour);

    // Where the program moved the control, in twips inside its container; empty: as designed.
    std::optional<int> left() const { return m_left; }
    std::optional<int> top() const { return m_top; }
    void moveLeft(int twips);
    void moveTop(int twips);

    // Requests to the window that change no state.
    void setFocus() { emit focusRequested(); }
    void raise() { emit raiseRequested(); }

    // As if the operator clicked it, or pressed Enter in it; the window calls these for the real ones.
    void click() { emit clicked(); }
    void pressEnter() { emit enterPressed(); }

signals:
    void changed();
    void clicked();
    void enterPressed();
    void focusRequested();
    void raiseRequested();

private:
    QString m_text;
    QString m_picture;
    std::optional<quint32> m_colour;
    std::optional<int> m_left;
    std::optional<int> m_top;
    bool m_visible = true;
    bool m_enabled = true;
};
