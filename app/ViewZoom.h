#pragma once

#include <QFont>
#include <QObject>

class QTextEdit;
class QWidget;

// The definition view's text scaled in steps from 50% to 400% for the rest
// of the run: Ctrl+Plus (or Ctrl+=), Ctrl+Minus and Ctrl+0 over the
// window, Ctrl and the wheel over the view. It scales the view's font, in
// which every text and every piece of the fill is laid out: links and the
// lines of the rules scale with it.
class ViewZoom : public QObject {
public:
    ViewZoom(QTextEdit* view, QWidget* window);
    int Percent() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Go(int step);

    QTextEdit* m_pView;
    QFont m_unscaled;
    int m_nStep;
    int m_nWheelAngle = 0;
};
