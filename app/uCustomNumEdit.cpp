#include "app/uCustomNumEdit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>

namespace duomat {

namespace {
constexpr int kArrowWidth = 15;

// The character a key event types, as the platform's character message
// would carry it: Control + letter as its control code, Enter as CR.
QChar TypedChar(const QKeyEvent* e) {
  const int key = e->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) return QChar('\r');
  if (key == Qt::Key_Backspace) return QChar('\b');
  const Qt::KeyboardModifiers m = e->modifiers();
  if ((m & Qt::ControlModifier) && !(m & Qt::AltModifier)) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return QChar(key - Qt::Key_A + 1);
    return {};
  }
  const QString text = e->text();
  if (text.size() != 1) return {};
  const QChar c = text.at(0);
  if (c.unicode() < 0x20 || c.unicode() == 0x7f) return {};
  return c;
}

// Keeps the modifiers of the event being handled for ControlFactor().
class TEventScope {
 public:
  TEventScope(bool& flag, Qt::KeyboardModifiers& store, Qt::KeyboardModifiers m) : flag_(flag), was_(flag) {
    store = m;
    flag_ = true;
  }
  ~TEventScope() { flag_ = was_; }
  TEventScope(const TEventScope&) = delete;
  TEventScope& operator=(const TEventScope&) = delete;

 private:
  bool& flag_;
  bool was_;
};
}  // namespace

TMyCustomNumEdit::TMyCustomNumEdit(QWidget* parent) : QLineEdit(parent) {
  arrows_ = new QWidget(this);
  arrows_->setCursor(Qt::ArrowCursor);
  up_ = new QToolButton(arrows_);
  down_ = new QToolButton(arrows_);
  for (QToolButton* b : {up_, down_}) {
    b->setArrowType(b == up_ ? Qt::UpArrow : Qt::DownArrow);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIconSize(QSize(7, 7));
  }
  up_->setObjectName(QStringLiteral("up"));
  down_->setObjectName(QStringLiteral("down"));
  connect(up_, &QToolButton::clicked, this, [this] { ArrowClicked(0); });
  connect(down_, &QToolButton::clicked, this, [this] { ArrowClicked(1); });
  connect(this, &QLineEdit::textChanged, this, [this] { emit OnChangeText(this); });
  // Typed text never runs under the arrows.
  setTextMargins(0, 0, kArrowWidth + 1, 0);
  PlaceArrows();
}

void TMyCustomNumEdit::SetColored(bool on) {
  colored_ = on;
  if (!on) SetTextColour(Qt::black);
  Redisplay();
}

void TMyCustomNumEdit::Redisplay() { clear(); }

bool TMyCustomNumEdit::Validate() { return true; }

void TMyCustomNumEdit::KeyPress(QChar& Key) {
  const char16_t c = Key.unicode();
  if (c == '\r') {
    Key = QChar();
    enterAccepted_ = Validate();
    return;
  }
  const bool passes = (c >= '0' && c <= '9') || c == '-' || c == '\b' || c == 0x03 /* Ctrl+C */ ||
                      c == 0x16 /* Ctrl+V */;
  if (!passes) Key = QChar();
}

void TMyCustomNumEdit::KeyDown(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_PageUp: Step(0, true); break;
    case Qt::Key_PageDown: Step(1, true); break;
    case Qt::Key_Up: Step(0, false); break;
    case Qt::Key_Down: Step(1, false); break;
    default: break;
  }
}

int TMyCustomNumEdit::ControlFactor() const {
  const Qt::KeyboardModifiers m = inEvent_ ? eventModifiers_ : QGuiApplication::keyboardModifiers();
  return (m & Qt::ControlModifier) ? 10 : 1;
}

void TMyCustomNumEdit::ColourBySign(double number) {
  if (!colored_) return;
  SetTextColour(number < 0 ? QColor(NegativeColour) : number > 0 ? QColor(PositiveColour) : QColor(Qt::black));
}

void TMyCustomNumEdit::SetTextColour(const QColor& colour) {
  // The disabled look stays the style's: a greyed field must not read as editable.
  QPalette p = palette();
  p.setColor(QPalette::Active, QPalette::Text, colour);
  p.setColor(QPalette::Inactive, QPalette::Text, colour);
  setPalette(p);
}

void TMyCustomNumEdit::ShowRangeMessage(const QString& minimum, const QString& maximum) {
  const QString text = tr("%1 musí být v rozmezí od %2 do %3!").arg(ShowName(), minimum, maximum);
  QMessageBox box(QMessageBox::Question, tr("Confirm"), text, QMessageBox::Ok, this);
  box.exec();
  TakeFocusBack();
}

void TMyCustomNumEdit::TakeFocusBack() {
  setFocus(Qt::OtherFocusReason);
  selectAll();
  // Inside a focus change the new focus is set after the old one's exit
  // notification, so take it back once that change is done.
  QMetaObject::invokeMethod(
      this,
      [this] {
        setFocus(Qt::OtherFocusReason);
        selectAll();
      },
      Qt::QueuedConnection);
}

void TMyCustomNumEdit::Beep() {
  if (failureBeep_) QApplication::beep();
}

void TMyCustomNumEdit::ArrowClicked(int direction) {
  if (!upDownEnable_) return;
  Step(direction, false);
  if (focusPolicy() & Qt::TabFocus && isEnabled() && isVisible()) setFocus(Qt::MouseFocusReason);
}

void TMyCustomNumEdit::keyPressEvent(QKeyEvent* event) {
  TEventScope scope(inEvent_, eventModifiers_, event->modifiers());
  KeyDown(event);
  if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) && !ClipboardAllowed()) {
    event->accept();
    return;
  }
  const QChar typed = TypedChar(event);
  if (!typed.isNull()) {
    QChar key = typed;
    if (typed == QChar('\r')) {
      enterAccepted_ = false;
      validating_ = true;
      KeyPress(key);
      validating_ = false;
      // Accepted: the edit's own handling lets a dialog's default button act.
      if (!key.isNull() || !enterAccepted_) {
        event->accept();
        return;
      }
    } else {
      KeyPress(key);
      if (key.isNull()) {
        event->accept();
        return;
      }
      if (key != typed) {
        insert(QString(key));
        event->accept();
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TMyCustomNumEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (QGuiApplication::mouseButtons() == Qt::NoButton) selectAll();
}

void TMyCustomNumEdit::focusOutEvent(QFocusEvent* event) {
  // Switching windows or opening a menu is not leaving the field; neither is
  // the range message's own box, nor the field being hidden.
  const bool leaving = event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason &&
                       !validating_ && isVisible();
  if (!leaving) {
    QLineEdit::focusOutEvent(event);
    return;
  }
  validating_ = true;
  const bool ok = Validate();
  validating_ = false;
  if (ok) {
    QLineEdit::focusOutEvent(event);
  } else {
    QWidget::focusOutEvent(event);
    TakeFocusBack();
  }
}

void TMyCustomNumEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceArrows();
}

void TMyCustomNumEdit::PlaceArrows() {
  const int frame = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
  const int h = std::max(height() - 2 * frame, 2);
  arrows_->setGeometry(width() - frame - kArrowWidth, frame, kArrowWidth, h);
  up_->setGeometry(0, 0, kArrowWidth, h / 2);
  down_->setGeometry(0, h / 2, kArrowWidth, h - h / 2);
}

void TMyCustomNumEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  // The standard actions are known by the shortcut their text ends with.
  const auto shortcut = [](QKeySequence::StandardKey key) {
    return QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
  };
  for (QAction* a : menu->actions()) {
    const bool cut = a->text().endsWith(shortcut(QKeySequence::Cut));
    const bool paste = a->text().endsWith(shortcut(QKeySequence::Paste));
    if (cut) a->setObjectName(QStringLiteral("edit-cut"));
    if (paste) a->setObjectName(QStringLiteral("edit-paste"));
    if ((cut || paste) && !ClipboardAllowed()) a->setEnabled(false);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void TMyCustomNumEdit::mousePressEvent(QMouseEvent* event) {
  // The middle button pastes the selection on X11.
  if (event->button() == Qt::MiddleButton && !ClipboardAllowed()) {
    event->accept();
    return;
  }
  QLineEdit::mousePressEvent(event);
}

void TMyCustomNumEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && !ClipboardAllowed()) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void TMyCustomNumEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!ClipboardAllowed()) {
    event->ignore();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void TMyCustomNumEdit::dropEvent(QDropEvent* event) {
  if (!ClipboardAllowed()) {
    event->ignore();
    return;
  }
  QLineEdit::dropEvent(event);
}

}  // namespace duomat
