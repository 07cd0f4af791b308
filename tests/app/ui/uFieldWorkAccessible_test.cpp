// The window's field work driven only through what a screen reader sees: the
// accessible tree, its names and its actions — as an operator with one would.
#include <QAccessible>
#include <QMenu>
#include <QtTest>

#include "app/ufMain.h"
#include "core/uLibraryStart.h"
#include "core/uModuleSettings.h"
#include "support/TSimProcess.h"

using namespace duomat;

namespace {
struct TMessageList : IMessageSink {
  std::vector<std::string> Texts;
  void ShowMessage(const std::string& text) override { Texts.push_back(text); }
};

// The first object under `root` with this role and name, depth first.
QAccessibleInterface* Find(QAccessibleInterface* root, QAccessible::Role role, const QString& name) {
  if (!root) return nullptr;
  if (root->role() == role && root->text(QAccessible::Name) == name) return root;
  for (int i = 0; i < root->childCount(); ++i)
    if (QAccessibleInterface* found = Find(root->child(i), role, name)) return found;
  return nullptr;
}

QAccessibleInterface* Of(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

void Press(QAccessibleInterface* item) {
  QVERIFY(item && item->actionInterface());
  item->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}
}  // namespace

class TFieldWorkAccessibleTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { duomat::StartLibrary(); }
  void cleanupTestCase() { duomat::StopLibrary(); }

  // Tools → Najít moduly…, the line typed, Hledat; the second of two modules
  // taken for the Outra group, which then loads.
  void anOperatorFindsTwoModulesAndGivesTheSecondToOutra() {
    korvan::test::TSimProcess sim({"--module", "ingra", "--address", "0x20", "--module", "outra", "--address",
                                   "0x23", "--tcp", "127.0.0.1:0"});
    QVERIFY(sim.Started());
    const QString line = QString("provider=TCP_CLIENT;host=127.0.0.1;port=%1").arg(sim.TcpPort());
    TMessageList messages;
    TfMain window;
    window.SetMessageSink(&messages);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QAccessibleInterface* tools = Find(Of(&window), QAccessible::ButtonMenu, "Nástroje");
    QVERIFY(tools);
    QStringList menuItems;
    QTimer::singleShot(100, this, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (int i = 0; i < Of(menu)->childCount(); ++i) menuItems << Of(menu)->child(i)->text(QAccessible::Name);
      Press(Find(Of(menu), QAccessible::MenuItem, "Najít moduly…"));
    });
    Press(tools);  // the menu runs its own loop until an item is pressed
    QCOMPARE(menuItems, (QStringList{"Najít moduly…", "Ingra", "Outra"}));

    QWidget* dialog = QApplication::activeWindow();
    QTRY_VERIFY((dialog = QApplication::activeWindow()) && dialog != &window);
    QAccessibleInterface* d = Of(dialog);
    QCOMPARE(d->text(QAccessible::Name), QString("Najít moduly"));
    const std::pair<const char*, QString> fields[] = {{"Připojení", line}, {"Od adresy", "1e"}, {"Do adresy", "25"}};
    for (const auto& [name, value] : fields) {
      QAccessibleInterface* field = Find(d, QAccessible::EditableText, name);
      QVERIFY2(field, name);
      field->setText(QAccessible::Value, value);
    }
    Press(Find(d, QAccessible::Button, "Hledat"));
    QAccessibleInterface* table = Find(d, QAccessible::Table, "Nalezené moduly");
    QVERIFY(table && table->tableInterface());
    QTRY_COMPARE_WITH_TIMEOUT(table->tableInterface()->rowCount(), 2, 10000);
    QTRY_VERIFY(Find(d, QAccessible::Button, "Hledat")->state().disabled == false);
    QCOMPARE(table->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), QString("0x23"));

    QVERIFY(table->tableInterface()->selectRow(1));
    Press(Find(d, QAccessible::Button, "Použít pro Outra"));
    QTRY_VERIFY(window.OutraRec().IsConnected());  // a pressed button clicks a moment later
    QCOMPARE(int(window.OutraRec().GetModuleAddress()), 0x23);

    QAccessibleInterface* outra = Find(Of(&window), QAccessible::Grouping, "Nastavení Outra");
    QVERIFY(outra);
    Press(Find(outra, QAccessible::Button, "Nahrát ze zařízení"));
    QTRY_COMPARE(messages.Texts, std::vector<std::string>{msg::OutraLoaded});
    dialog->close();
  }
};

QTEST_MAIN(TFieldWorkAccessibleTest)
#include "uFieldWorkAccessible_test.moc"
