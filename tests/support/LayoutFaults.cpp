#include "LayoutFaults.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <utility>

namespace {

// A control's text and the width it may take: a label's contents, a
// button's inside of its frame, a group box's width less the margins its
// style keeps before the caption, on either side.
std::pair<QString, int> TextAndRoom(const QWidget& control)
{
    QStyle* style = control.style();
    if (const auto* box = qobject_cast<const QGroupBox*>(&control)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect caption = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        return {box->title(), box->width() - 2 * caption.left()};
    }
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return {label->text(), label->contentsRect().width()};
    const bool check = qobject_cast<const QCheckBox*>(&control);
    if (!check && !qobject_cast<const QPushButton*>(&control))
        return {};
    QStyleOptionButton option;
    option.initFrom(&control);
    const QRect inside =
        style->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, &control);
    return {static_cast<const QAbstractButton&>(control).text(), inside.width()};
}

bool RunsInto(const QWidget& label, const QWidget& other)
{
    return &other != &label && other.parentWidget() == label.parentWidget() && !other.isHidden()
        && !qobject_cast<const QGroupBox*>(&other) && other.geometry().intersects(label.geometry());
}

}  // namespace

QStringList LayoutFaults(const QWidget& window)
{
    static const QRegularExpression mnemonic("&(.)");
    QStringList faults;
    const QList<QWidget*> controls = window.findChildren<QWidget*>();
    for (const QWidget* control : controls) {
        auto [text, room] = TextAndRoom(*control);
        text.replace(mnemonic, "\\1");
        if (text.isEmpty() || control->isHidden())
            continue;
        const int needed = QFontMetrics(control->font()).horizontalAdvance(text);
        if (needed > room)
            faults << QString("\"%1\" needs %2 px, has %3").arg(text).arg(needed).arg(room);
        if (qobject_cast<const QLabel*>(control))
            for (const QWidget* other : controls)
                if (RunsInto(*control, *other))
                    faults << QString("\"%1\" runs into a %2").arg(text, other->metaObject()->className());
    }
    return faults;
}
