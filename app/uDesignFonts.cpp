#include "app/uDesignFonts.h"

#include <QFont>
#include <QStringList>

namespace duomat {

void SubstituteDesignFonts() {
  static const bool done = [] {
    QFont::insertSubstitutions("MS Sans Serif", {"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial",
                                                 "DejaVu Sans Condensed"});
    return true;
  }();
  (void)done;
}

}  // namespace duomat
