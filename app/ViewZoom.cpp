#include "ViewZoom.h"

#include <QShortcut>
#include <QTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <iterator>

namespace {

constexpr int Percents[] = {50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};
constexpr int Unscaled = 4;
constexpr int Last = static_cast<int>(std::size(Percents)) - 1;
// A wheel's notch; finer wheels add up to it.
constexpr int Notch = 120;

}  // namespace

ViewZoom::ViewZoom(QTextEdit* view, QWidget* window)
    : QObject(window), m_pView(view), m_unscaled(view->font()), m_nStep(Unscaled)
{
    const std::pair<QKeySequence, int> keys[] = {{Qt::CTRL | Qt::Key_Plus, 1},
                                                 {Qt::CTRL | Qt::Key_Equal, 1},
                                                 {Qt::CTRL | Qt::Key_Minus, -1},
                                                 {Qt::CTRL | Qt::Key_0, 0}};
    for (const auto& [key, steps] : keys)
        connect(new QShortcut(key, window), &QShortcut::activated, this,
                [this, steps = steps] { Go(steps ? m_nStep + steps : Unscaled); });
    view->viewport()->installEventFilter(this);
}

int ViewZoom::Percent() const
{
    return Percents[m_nStep];
}

void ViewZoom::Go(int step)
{
    step = std::clamp(step, 0, Last);
    if (step == m_nStep)
        return;
    m_nStep = step;
    QFont scaled = m_unscaled;
    if (m_unscaled.pointSizeF() > 0)
        scaled.setPointSizeF(m_unscaled.pointSizeF() * Percent() / 100);
    else
        scaled.setPixelSize(std::max(1, m_unscaled.pixelSize() * Percent() / 100));
    m_pView->setFont(scaled);
}

// The view itself would zoom by a point a notch, without bounds.
bool ViewZoom::eventFilter(QObject*, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    const auto* wheel = static_cast<QWheelEvent*>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    m_nWheelAngle += wheel->angleDelta().y();
    const int notches = m_nWheelAngle / Notch;
    m_nWheelAngle -= notches * Notch;
    Go(m_nStep + notches);
    return true;
}
