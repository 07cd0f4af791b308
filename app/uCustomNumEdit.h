#pragma once
// The base of the number edit fields: a line edit with up/down arrows, filtering and checking.
#include <QChar>
#include <QLineEdit>
#include <QString>

class QToolButton;

namespace duomat {

// A single-line edit for numbers with a small up/down arrow pair inside its
// right edge. Keys and arrows step the value, typed characters are filtered,
// and the text is checked on Enter and when the field is left. The number
// itself (range, steps, text form) belongs to the derived classes.
class TMyCustomNumEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(bool UpDownEnable READ UpDownEnable WRITE SetUpDownEnable)
  Q_PROPERTY(QString ShowName READ ShowName WRITE SetShowName)
  Q_PROPERTY(bool AutoCorrect READ AutoCorrect WRITE SetAutoCorrect)
  Q_PROPERTY(bool FailureBeep READ FailureBeep WRITE SetFailureBeep)
  Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
  Q_PROPERTY(bool Colored READ Colored WRITE SetColored)

 public:
  explicit TMyCustomNumEdit(QWidget* parent = nullptr);

  bool UpDownEnable() const { return upDownEnable_; }
  void SetUpDownEnable(bool on) { upDownEnable_ = on; }  // off: the arrows do nothing
  QString ShowName() const { return showName_; }
  void SetShowName(const QString& name) { showName_ = name; }
  bool AutoCorrect() const { return autoCorrect_; }
  void SetAutoCorrect(bool on) { autoCorrect_ = on; }
  bool FailureBeep() const { return failureBeep_; }
  void SetFailureBeep(bool on) { failureBeep_ = on; }
  // Paste and cut (shortcuts, context menu, middle button, drops).
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool on) { editorEnabled_ = on; }
  bool Colored() const { return colored_; }
  void SetColored(bool on);

  // Step the value: Direction 0 up, 1 down; Page multiplies by the page factor.
  virtual void Step(int Direction, bool Page) = 0;
  // Show the stored value as the text. The base only clears the text.
  virtual void Redisplay();
  // Check the text; true when it is accepted (or corrected).
  virtual bool Validate();

  // Font colours by sign.
  static constexpr QRgb NegativeColour = 0x800000;
  static constexpr QRgb PositiveColour = 0x000080;

 signals:
  // After every change of the text, typed or set from code.
  void OnChangeText(duomat::TMyCustomNumEdit* Sender);

 protected:
  // A typed character: set Key to QChar() to swallow it, or replace it.
  virtual void KeyPress(QChar& Key);
  // Keys handled before the edit's own: the arrows and page keys step.
  virtual void KeyDown(QKeyEvent* event);

  // 10 while Control is held: from the key or mouse event being handled.
  int ControlFactor() const;
  // The font colour for a number: by sign when Colored.
  void ColourBySign(double number);
  void SetTextColour(const QColor& colour);
  // The range message box ("ShowName must be from MINIMUM to MAXIMUM"):
  // "Confirm", question icon, one OK button; then the field takes the focus
  // back with its text selected.
  void ShowRangeMessage(const QString& minimum, const QString& maximum);
  void Beep();

  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool ClipboardAllowed() const { return editorEnabled_ && !isReadOnly(); }
  void ArrowClicked(int direction);
  void PlaceArrows();
  void TakeFocusBack();

  bool upDownEnable_ = true;
  QString showName_ = QStringLiteral("Hodnota");
  bool autoCorrect_ = true;
  bool failureBeep_ = false;
  bool editorEnabled_ = true;
  bool colored_ = true;

  QWidget* arrows_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
  Qt::KeyboardModifiers eventModifiers_;
  bool inEvent_ = false;
  bool validating_ = false;
  bool enterAccepted_ = false;
};

}  // namespace duomat
