#include "CPortSpin.h"

#include <algorithm>
#include <limits>

CPortSpin::CPortSpin(QWidget* parent) : QSpinBox(parent)
{
    setRange(Empty, std::numeric_limits<int>::max());
    setWrapping(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
}

void CPortSpin::stepBy(int steps)
{
    const long long stepped = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(stepped, LowestPort, HighestPort)));
    selectAll();
}

QAbstractSpinBox::StepEnabled CPortSpin::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (value() < HighestPort)
        enabled |= StepUpEnabled;
    if (value() > LowestPort)
        enabled |= StepDownEnabled;
    return enabled;
}

// Digits only: no sign, no group separators. An empty field stays empty
// when the focus leaves it, instead of going back to the last number.
QValidator::State CPortSpin::validate(QString& text, int& pos) const
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return QValidator::Invalid;
    return text.isEmpty() ? QValidator::Acceptable : QSpinBox::validate(text, pos);
}

int CPortSpin::valueFromText(const QString& text) const
{
    return text.isEmpty() ? Empty : QSpinBox::valueFromText(text);
}

QString CPortSpin::textFromValue(int value) const
{
    return value == Empty ? QString() : QSpinBox::textFromValue(value);
}
