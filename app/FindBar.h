#pragma once

#include "ViewFinder.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class RichTextView;

// The find field, laid over the bottom edge of the definition view while
// open, beside a word on how the last step went. Ctrl+F opens it with the
// view's selection and, from the field, closes it, as Escape there does,
// giving the focus back to the control that had it before; Enter and F3
// go to the next match, with Shift to the one before.
class FindBar : public QWidget {
public:
    FindBar(RichTextView* view, QWidget* window);

    QLineEdit* Field() const { return m_pField; }
    QLabel* Status() const { return m_pStatus; }
    ViewFinder& Finder() { return m_finder; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Open();
    void Close();
    void Place();
    void OnOutcome(ViewFinder::Outcome outcome);

    RichTextView* m_pView;
    QLineEdit* m_pField;
    QLabel* m_pStatus;
    ViewFinder m_finder;
    // Where the focus goes back to on closing; the view when it is gone.
    QPointer<QWidget> m_pFocusBefore;
};
