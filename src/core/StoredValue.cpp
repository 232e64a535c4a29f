#include "core/StoredValue.h"

#include "core/NumberText.h"

#include <cmath>

std::optional<double> StoredValue::number() const
{
    switch (m_form) {
    case Form::Empty:
        return 0.0;
    case Form::Number:
    case Form::Boolean:
        return m_number;
    case Form::Text:
        return NumberText::parseWhole(m_text);
    }
    return std::nullopt;
}

std::optional<qint16> StoredValue::toInt16() const
{
    const auto n = number();
    if (!n || !std::isfinite(*n))
        return std::nullopt;
    const double r = NumberText::roundHalfEven(*n);
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<qint16>(r);
}

QString StoredValue::toText() const
{
    switch (m_form) {
    case Form::Empty:
        return QString();
    case Form::Number:
        return NumberText::format(m_number);
    case Form::Boolean:
        return m_number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case Form::Text:
        return m_text;
    }
    return QString();
}

bool StoredValue::toBool() const
{
    if (m_form == Form::Text && m_text.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    const auto n = number();
    return n && *n != 0;
}

bool StoredValue::equals(double value) const
{
    const auto n = number();
    return n && *n == value;
}

StoredValue StoredValue::plus(double value) const
{
    return StoredValue(toNumber() + value);
}
