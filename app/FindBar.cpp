#include "FindBar.h"

#include "RichTextView.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

#include <iterator>

namespace {

// Qt's palette has no colour for it: the desktop's base tinted with the
// red desktops mark errors with, which suits light and dark themes alike.
QColor NegativeBase(const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Base);
    const QColor red(218, 68, 83);
    const auto mix = [](int a, int b) { return (3 * a + 2 * b) / 5; };
    return QColor(mix(base.red(), red.red()), mix(base.green(), red.green()), mix(base.blue(), red.blue()));
}

}  // namespace

FindBar::FindBar(RichTextView* view, QWidget* window)
    : QWidget(window), m_pView(view), m_pField(new QLineEdit(this)), m_pStatus(new QLabel(this)), m_finder(view)
{
    m_pField->setAccessibleName("Find");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 4, 2);
    row->addWidget(m_pField, 1);
    row->addWidget(m_pStatus);
    setAutoFillBackground(true);
    hide();
    m_pField->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(m_pField, &QLineEdit::textEdited, this, [this](const QString& text) { m_finder.Find(text); });
    m_finder.SetOutcomeHandler([this](ViewFinder::Outcome outcome) { OnOutcome(outcome); });
    const auto onKey = [window](QKeySequence::StandardKey key, auto handler) {
        connect(new QShortcut(key, window), &QShortcut::activated, window, handler);
    };
    onKey(QKeySequence::Find, [this] { m_pField->hasFocus() ? Close() : Open(); });
    onKey(QKeySequence::FindNext, [this] { isHidden() ? Open() : m_finder.Next(); });
    onKey(QKeySequence::FindPrevious, [this] { isHidden() ? Open() : m_finder.Previous(); });
}

// Opening searches the view's selection, or the field's text again; the
// field's text is selected, ready to be typed over.
void FindBar::Open()
{
    const QString selected = m_pView->textCursor().selectedText().section(QChar::ParagraphSeparator, 0, 0);
    bool fresh = isHidden();
    if (!selected.isEmpty() && selected.compare(m_pField->text(), Qt::CaseInsensitive) != 0) {
        m_pField->setText(selected);
        fresh = true;
    }
    if (isHidden()) {
        m_pFocusBefore = parentWidget()->focusWidget();
        m_pView->KeepRoomBelow(sizeHint().height());
        show();
        raise();
        Place();
    }
    m_pField->setFocus(Qt::ShortcutFocusReason);
    m_pField->selectAll();
    if (fresh)
        m_finder.Find(m_pField->text());
}

void FindBar::Close()
{
    hide();
    m_pView->KeepRoomBelow(0);
    m_finder.Stop();
    OnOutcome(ViewFinder::Outcome::None);
    QWidget* back =
        m_pFocusBefore && m_pFocusBefore->isEnabled() && m_pFocusBefore->isVisible() ? m_pFocusBefore.data() : m_pView;
    back->setFocus(Qt::OtherFocusReason);
}

// Over the strip the view keeps free below its text.
void FindBar::Place()
{
    const QWidget* screen = m_pView->viewport();
    setGeometry(
        QRect(screen->mapTo(parentWidget(), QPoint(0, screen->height())), QSize(screen->width(), sizeHint().height())));
}

void FindBar::OnOutcome(ViewFinder::Outcome outcome)
{
    static const char* const says[] = {"", "", "Continued from the top", "Continued from the bottom", "Not found"};
    const QString said = says[static_cast<int>(outcome)];
    m_pStatus->setText(said);
    m_pField->setAccessibleDescription(said);
    QPalette field = palette();
    if (outcome == ViewFinder::Outcome::NotFound)
        field.setColor(QPalette::Base, NegativeBase(field));
    m_pField->setPalette(field);
}

// Escape and Enter stay in the field: the window would take Escape to end
// the program and Enter to search the word box.
bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    // The other is the view's viewport, which may be going: the view is not
    // asked for it.
    if (watched != m_pField) {
        if (event->type() == QEvent::Resize && !isHidden())
            Place();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape)
        Close();
    else if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    else if (key->modifiers() & Qt::ShiftModifier)
        m_finder.Previous();
    else
        m_finder.Next();
    return true;
}
