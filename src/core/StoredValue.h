#pragma once

#include <QString>

#include <optional>

// A loosely typed value that remembers its form: empty, number, text or boolean.
// Empty counts as 0 in numeric use and as the empty text in text use.
class StoredValue
{
public:
    enum class Form { Empty, Number, Text, Boolean };

    StoredValue() = default;
    StoredValue(double number) : m_form(Form::Number), m_number(number) {}
    StoredValue(int number) : m_form(Form::Number), m_number(number) {}
    StoredValue(bool value) : m_form(Form::Boolean), m_number(value ? -1 : 0) {}
    StoredValue(const QString& text) : m_form(Form::Text), m_text(text) {}
    StoredValue(const char* text) : m_form(Form::Text), m_text(QString::fromUtf8(text)) {}

    Form form() const { return m_form; }
    bool isEmpty() const { return m_form == Form::Empty; }
    bool isNumber() const { return m_form == Form::Number; }
    bool isText() const { return m_form == Form::Text; }
    bool isBoolean() const { return m_form == Form::Boolean; }

    // Empty, number, boolean, or a text that reads as a number.
    bool isNumeric() const { return number().has_value(); }
    std::optional<double> number() const;
    // Numeric value; a text that is not a number gives 0 (check isNumeric() where it matters).
    double toNumber() const { return number().value_or(0.0); }

    // Rounded half to even; nothing for non-numeric text or values outside -32768..32767.
    std::optional<qint16> toInt16() const;

    // Text use: empty -> "", number -> shortest decimal, boolean -> "True"/"False".
    QString toText() const;
    // Boolean use: a numeric value other than 0, or the text "True" (any case).
    bool toBool() const;

    // Numeric comparison (empty = 0); a non-numeric text equals no number.
    bool equals(double value) const;
    // Text comparison, exact and case-sensitive, on the text use of the value.
    bool equalsText(const QString& text) const { return toText() == text; }
    // "Is 0 or empty", the start checks' test.
    bool isZeroOrEmpty() const { return isEmpty() || equals(0); }

    // Arithmetic: empty + n = n; a numeric text takes part as its number.
    StoredValue plus(double value) const;

    friend bool operator==(const StoredValue& a, const StoredValue& b)
    {
        return a.m_form == b.m_form && a.m_text == b.m_text
               && (a.m_number == b.m_number || (a.m_number != a.m_number && b.m_number != b.m_number));
    }

private:
    Form m_form = Form::Empty;
    double m_number = 0;
    QString m_text;
};
