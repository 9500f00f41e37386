#pragma once

#include <QSpinBox>

// The port field with its up-down arrows: the field takes any whole number
// of digits, so an out-of-range port can be typed and refused later, while
// the arrows step only within 1 to 65535 and never wrap. Like an edit field
// it may also be left empty, for the dialog's data exchange to refuse.
class CPortSpin : public QSpinBox {
    Q_OBJECT
public:
    static constexpr int LowestPort = 1;
    static constexpr int HighestPort = 65535;

    explicit CPortSpin(QWidget* parent);

    void stepBy(int steps) override;

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
    QString textFromValue(int value) const override;
    StepEnabled stepEnabled() const override;

private:
    // The value of the empty field.
    static constexpr int Empty = -1;
};
