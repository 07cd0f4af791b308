#include "app/uOpenFailureText.h"

#include <QCoreApplication>

namespace duomat {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

class TOpenFailureWords {
  Q_DECLARE_TR_FUNCTIONS(duomat::TOpenFailureWords)

 public:
  static QString Text(const TOpenFailure& f);
};

QString TOpenFailureWords::Text(const TOpenFailure& f) {
  const QString device = f.Port.empty() ? Q(f.Device) : QStringLiteral("%1 (%2)").arg(Q(f.Device), Q(f.Port));
  switch (f.Kind) {
    case TOpenFailureKind::Unknown: return {};
    case TOpenFailureKind::NoComDevice: return tr("Port %1 neodpovídá žádnému zařízení.").arg(Q(f.Device));
    case TOpenFailureKind::Missing: return tr("Zařízení %1 neexistuje.").arg(device);
    case TOpenFailureKind::NotAPort: return tr("Zařízení %1 není sériový port.").arg(device);
    case TOpenFailureKind::NoAccess:
      if (!f.Group.empty())
        return tr("Nemáte přístup k %1: patří skupině %2 (sudo usermod -aG %2 $USER a znovu se přihlaste).")
            .arg(Q(f.Device), Q(f.Group));
      return f.HidRule ? tr("Nemáte přístup k %1: pravidlo 70-duomat.rules z balíčku Duomat je dává skupině plugdev.")
                             .arg(Q(f.Device))
                       : tr("Nemáte přístup k %1: pravidlo udev je musí dát některé z vašich skupin.").arg(Q(f.Device));
    case TOpenFailureKind::Busy: return tr("Zařízení %1 používá jiný program.").arg(device);
    case TOpenFailureKind::NoConverter: return tr("Převodník FTDI se sériovým číslem %1 není připojen.").arg(Q(f.Device));
    case TOpenFailureKind::NoHidDevice: return tr("Zařízení HID %1 není připojeno.").arg(Q(f.Device));
    case TOpenFailureKind::UnknownHost: return tr("%1 není adresa IPv4 (jména počítačů se nepřekládají).").arg(Q(f.Device));
    case TOpenFailureKind::Refused: return tr("%1 odmítl spojení (na tomto portu nic nenaslouchá).").arg(Q(f.Device));
    case TOpenFailureKind::NoRoute: return tr("K %1 nevede žádná cesta.").arg(Q(f.Device));
    case TOpenFailureKind::NoAnswer:
      return tr("%1 neodpověděl do %2 ms (chybná adresa nebo firewall).").arg(Q(f.Device)).arg(f.TimeoutMs);
    case TOpenFailureKind::LocalBusy: return tr("Místní port %1 používá jiný program.").arg(Q(f.Device));
    case TOpenFailureKind::LocalForeign: return tr("%1 není adresa tohoto počítače.").arg(Q(f.Device));
  }
  return {};
}
}  // namespace

QString OpenFailureWindowText(const TOpenFailure& f) { return TOpenFailureWords::Text(f); }

}  // namespace duomat
