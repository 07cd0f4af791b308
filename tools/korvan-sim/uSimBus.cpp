// termios2 is declared by the kernel's headers, which clash with glibc's
// <termios.h>: this file includes only the former.
#include "tools/korvan-sim/uSimBus.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <algorithm>

#include "protocol/uKorvanStackDevice.h"

namespace korvan::sim {

int BaudCode(uint32_t rate) {
  const auto it = std::find(KorvanBaudTable.begin(), KorvanBaudTable.end(), static_cast<int>(rate));
  return it == KorvanBaudTable.end() ? -1 : static_cast<int>(it - KorvanBaudTable.begin());
}

uint32_t LineRate(int fd) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return t.c_ospeed;
}

void TSimBus::Add(std::unique_ptr<TModuleModel> model, uint32_t rate) {
  const int code = BaudCode(rate);
  if (code >= 0) model->SetBaudCode(static_cast<uint8_t>(code));
  modules_.push_back({std::move(model), code >= 0 ? rate : 0});
}

TAnswer TSimBus::Answer(std::string_view frame, uint32_t lineRate) {
  std::vector<TAnswer> answers;
  for (TModule& m : modules_) {
    if (lineRate != 0 && m.Rate != 0 && m.Rate != lineRate) continue;  // hears only noise
    TAnswer answer = m.Model->Answer(frame);
    if (m.Rate != 0) {
      const uint8_t code = m.Model->GetBaudCode();
      if (code < KorvanBaudTable.size()) m.Rate = static_cast<uint32_t>(KorvanBaudTable[code]);
    }
    if (!answer.Empty()) answers.push_back(std::move(answer));
  }
  if (answers.size() == 1) return std::move(answers.front());
  return Collide(answers);
}

TAnswer TSimBus::Collide(const std::vector<TAnswer>& answers) {
  if (answers.empty()) return {};
  TPiece piece;
  std::vector<std::string> bytes;
  size_t longest = 0;
  for (const TAnswer& a : answers) {
    if (!a.Pieces.empty()) piece.PauseMs = std::max(piece.PauseMs, a.Pieces.front().PauseMs);
    bytes.push_back(a.Bytes());
    longest = std::max(longest, bytes.back().size());
  }
  for (size_t i = 0; i < longest; ++i)
    for (const std::string& b : bytes)
      if (i < b.size()) piece.Bytes += b[i];
  TAnswer garbled;
  garbled.Pieces.push_back(std::move(piece));
  return garbled;
}

}  // namespace korvan::sim
