#include "app/ufProfileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/uQtTranslation.h"

namespace duomat {

namespace {
QString ModuleTitle(TModuleKind kind) { return kind == TModuleKind::Ingra ? "Ingra" : "Outra"; }

QString TaskTitle(TProfileTask task) {
  switch (task) {
    case TProfileTask::Save:
      return TfProfileDialog::tr("Uložit nastavení do souboru");
    case TProfileTask::Compare:
      return TfProfileDialog::tr("Porovnat se souborem");
    case TProfileTask::Restore:
      break;
  }
  return TfProfileDialog::tr("Obnovit nastavení ze souboru");
}

// The settings as a change names them ("watchdog 2 value"), in the window's words.
QString SettingName(const std::string& setting) {
  const QString s = QString::fromStdString(setting);
  const QString n = s.section(' ', 1, 1);
  if (s.startsWith("input")) return TfProfileDialog::tr("Rozsah vstupu %1").arg(n);
  if (s.startsWith("output")) return TfProfileDialog::tr("Rozsah výstupu %1").arg(n);
  if (s.endsWith("timeout")) return TfProfileDialog::tr("Výstup %1: doba od posledního příkazu").arg(n);
  if (s.endsWith("value")) return TfProfileDialog::tr("Výstup %1: výchozí hodnota").arg(n);
  return s;
}
}  // namespace

std::optional<TProfile> ReadProfileFile(const QString& path, TModuleKind kind, QString& message) {
  try {
    return ParseProfile(ReadJsonFile(QFile::encodeName(path).toStdString()), kind);
  } catch (const TProfileError& e) {
    message = TfProfileDialog::tr("Soubor %1 nelze použít: %2. Do modulu nebylo nic odesláno.")
                  .arg(QDir::toNativeSeparators(path), QString::fromStdString(e.what()));
    return std::nullopt;
  }
}

void OpenProfileDialog(TProfileTask task, TModuleKind kind, QWidget* parent, TKorvanStackDeviceIngraRec* ingra,
                       TKorvanStackDeviceOutraRec* outra, std::function<void()> settingsChanged) {
  korvan::IIngra* ingraDevice = kind == TModuleKind::Ingra && ingra ? ingra->Device().get() : nullptr;
  korvan::IOutra* outraDevice = kind == TModuleKind::Outra && outra ? outra->Device().get() : nullptr;
  if (!ingraDevice && !outraDevice) return;
  const QString title = ModuleTitle(kind) + " – " + TaskTitle(task);
  const QString filter = TfProfileDialog::tr("Nastavení modulu (*.json)");
  TProfile profile;
  QString path;
  if (task == TProfileTask::Save) {
    path = QFileDialog::getSaveFileName(parent, title, ModuleTitle(kind).toLower() + ".json", filter);
    if (path.isEmpty()) return;
  } else {
    path = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    if (path.isEmpty()) return;
    QString message;
    const std::optional<TProfile> read = ReadProfileFile(path, kind, message);
    if (!read) {
      QMessageBox::warning(parent, title, message);
      return;
    }
    profile = *read;
  }
  TfProfileDialog dialog(task, kind, ingraDevice, outraDevice, path, profile, parent);
  if (settingsChanged) QObject::connect(&dialog, &TfProfileDialog::SettingsChanged, &dialog, settingsChanged);
  dialog.exec();
}

TfProfileDialog::TfProfileDialog(TProfileTask task, TModuleKind kind, korvan::IIngra* ingra, korvan::IOutra* outra,
                                 QString path, TProfile profile, QWidget* parent)
    : QDialog(parent),
      task_(task),
      kind_(kind),
      ingra_(ingra),
      outra_(outra),
      path_(std::move(path)),
      profile_(std::move(profile)),
      lblFile_(new QLabel),
      tblSettings_(new QTableWidget(0, 3)),
      prgWork_(new QProgressBar),
      lblStatus_(new QLabel),
      btnWrite_(new QPushButton(tr("Zapsat rozdíly do modulu"))),
      btnClose_(new QPushButton(tr("Zavřít"))),
      worker_(std::make_unique<TModuleWorker>(this, [this](const std::string& text) { Failed(text); })) {
  setObjectName("fProfile");
  setWindowTitle(ModuleTitle(kind) + " – " + TaskTitle(task));
  lblFile_->setObjectName("lblFile");
  lblFile_->setText(tr("Soubor: %1").arg(QDir::toNativeSeparators(path_)));
  lblFile_->setWordWrap(true);
  tblSettings_->setObjectName("tblSettings");
  tblSettings_->setHorizontalHeaderLabels({tr("Nastavení"), tr("Modul"), tr("Soubor")});
  tblSettings_->setAccessibleName(tr("Nastavení modulu a souboru"));
  tblSettings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblSettings_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblSettings_->verticalHeader()->hide();
  tblSettings_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  tblSettings_->setVisible(task != TProfileTask::Save);
  prgWork_->setObjectName("prgWork");
  prgWork_->setAccessibleName(tr("Průběh"));
  prgWork_->setRange(0, 1);
  prgWork_->setTextVisible(false);
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setWordWrap(true);
  lblStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  btnWrite_->setObjectName("btnWrite");
  btnWrite_->setVisible(task == TProfileTask::Restore);
  btnWrite_->setEnabled(false);
  btnClose_->setObjectName("btnClose");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnWrite_);
  buttons->addWidget(btnClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblFile_);
  layout->addWidget(tblSettings_, 1);
  layout->addWidget(prgWork_);
  layout->addWidget(lblStatus_);
  layout->addLayout(buttons);
  setTabOrder(tblSettings_, btnWrite_);
  setTabOrder(btnWrite_, btnClose_);
  resize(task == TProfileTask::Save ? QSize(420, 150) : QSize(520, 360));

  connect(btnClose_, &QPushButton::clicked, this, &TfProfileDialog::reject);
  connect(btnWrite_, &QPushButton::clicked, this, &TfProfileDialog::Restore);
}

TfProfileDialog::~TfProfileDialog() = default;

void TfProfileDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  if (task_ == TProfileTask::Save)
    LoadAndSave();
  else
    LoadAndCompare();
}

void TfProfileDialog::reject() {
  if (!busy_) {
    QDialog::reject();
    return;
  }
  // Nothing more is written; the request on the line answers first.
  worker_->RequestCancel();
  closeWhenDone_ = true;
  lblStatus_->setText(tr("Ukončuji…"));
}

void TfProfileDialog::Begin(const QString& status) {
  busy_ = true;
  btnWrite_->setEnabled(false);
  prgWork_->setRange(0, 0);  // busy, of unknown length
  lblStatus_->setText(status);
}

void TfProfileDialog::End(const QString& status) {
  busy_ = false;
  prgWork_->setRange(0, 1);
  prgWork_->setValue(0);  // idle: empty, not a bar that looks like work done
  lblStatus_->setText(status);
  btnWrite_->setEnabled(task_ == TProfileTask::Restore && differences_ > 0);
  emit StepDone();
  if (closeWhenDone_) QDialog::reject();
}

void TfProfileDialog::Failed(const std::string& text) {
  End(tr("Chyba: %1").arg(QString::fromStdString(text)));
}

void TfProfileDialog::LoadAndSave() {
  Begin(tr("Načítám nastavení z modulu…"));
  auto* ingra = ingra_;
  auto* outra = outra_;
  worker_->Run([ingra, outra] { return ingra ? LoadProfileText(*ingra) : LoadProfileText(*outra); },
               [this](TProfileText loaded) {
                 if (!loaded.Ok) {
                   End(QString::fromStdString(ModuleMessageText(loaded.Message)));
                   return;
                 }
                 QSaveFile file(path_);
                 const QByteArray text = QByteArray::fromStdString(loaded.Text);
                 if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
                   End(tr("Soubor %1 se nepodařilo zapsat: %2.")
                           .arg(QDir::toNativeSeparators(path_), file.errorString()));
                   return;
                 }
                 End(tr("Nastavení modulu bylo uloženo do souboru %1.").arg(QDir::toNativeSeparators(path_)));
               });
}

void TfProfileDialog::LoadAndCompare() {
  Begin(tr("Načítám nastavení z modulu…"));
  auto* ingra = ingra_;
  auto* outra = outra_;
  const TProfile profile = profile_;
  worker_->Run([ingra, outra, profile] { return ingra ? CompareModule(*ingra, profile) : CompareModule(*outra, profile); },
               [this](TProfileTable table) {
                 ShowTable(table);
                 if (!table.Ok)
                   End(QString::fromStdString(ModuleMessageText(table.Message)));
                 else if (differences_ == 0)
                   End(tr("Modul odpovídá souboru."));
                 else
                   End(tr("Modul se od souboru liší; počet rozdílů: %1.").arg(differences_));
               });
}

void TfProfileDialog::Restore() {
  if (busy_ || differences_ == 0) return;
  const auto answer = QMessageBox::question(
      this, windowTitle(),
      tr("Zapsat do modulu nastavení, která se od souboru liší (počet: %1)?").arg(differences_),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  Begin(tr("Zapisuji rozdíly do modulu…"));
  auto* ingra = ingra_;
  auto* outra = outra_;
  const TProfile profile = profile_;
  const TCancel cancel = worker_->Cancel();
  worker_->Run(
      [ingra, outra, profile, cancel] {
        // Only what differs is written, then read back; the table shows the module afterwards.
        TRestoreResult r;
        r.Written = ingra ? RunProfile(*ingra, profile, TProfileAction::Apply, cancel)
                          : RunProfile(*outra, profile, TProfileAction::Apply, cancel);
        if (!cancel()) r.Table = ingra ? CompareModule(*ingra, profile) : CompareModule(*outra, profile);
        return r;
      },
      [this](TRestoreResult r) {
        if (r.Table.Ok) ShowTable(r.Table);
        if (r.Written.Changed) emit SettingsChanged();
        const TProfileResult& w = r.Written;
        if (w.Ok && w.Verified && !w.Changed)
          End(tr("Modul už odpovídá souboru; nic nebylo zapsáno."));
        else if (w.Ok && w.Verified)
          End(tr("Zapsáno nastavení: %1. Modul nyní odpovídá souboru.").arg(w.Changes.size()));
        else
          End(tr("Modul souboru neodpovídá: %1").arg(QString::fromStdString(ModuleMessageText(w.Message))));
      });
}

void TfProfileDialog::ShowTable(const TProfileTable& table) {
  tblSettings_->setRowCount(static_cast<int>(table.Rows.size()));
  differences_ = table.Differences();
  QFont marked = tblSettings_->font();
  marked.setBold(true);
  for (size_t i = 0; i < table.Rows.size(); ++i) {
    const TProfileRow& row = table.Rows[i];
    const QString texts[3] = {SettingName(row.Setting), QString::fromStdString(row.Module),
                              QString::fromStdString(row.File)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      item->setData(Qt::UserRole, row.Differs);
      if (row.Differs) {
        item->setFont(marked);
        item->setBackground(QColor(255, 224, 178));
        item->setToolTip(tr("Liší se"));
      }
      tblSettings_->setItem(static_cast<int>(i), c, item);
    }
    // A screen reader hears the difference, not only a colour.
    if (row.Differs) tblSettings_->item(static_cast<int>(i), 0)->setText(texts[0] + " – " + tr("liší se"));
  }
  tblSettings_->resizeColumnsToContents();
  tblSettings_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
}

}  // namespace duomat
