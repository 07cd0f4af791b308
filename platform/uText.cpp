#include "platform/uText.h"

#include <atomic>

namespace korvan {

namespace {
// Atomic only so that a window test switching languages races with no reader.
std::atomic<TTranslate> g_translate{nullptr};
}  // namespace

void SetTranslator(TTranslate translate) { g_translate.store(translate); }

std::string Tr(const char* context, const char* source) {
  if (source == nullptr) return {};
  if (const TTranslate translate = g_translate.load(); translate != nullptr) {
    std::string translated = translate(context, source);
    if (!translated.empty()) return translated;
  }
  return source;
}

std::string TrArgs(const char* context, const char* source, const std::vector<std::string>& args) {
  const std::string text = Tr(context, source);
  std::string out;
  out.reserve(text.size());
  // One pass, so that an argument holding "%2" is not replaced in turn.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(text[i + 1] - '1');
      if (n < args.size()) {
        out += args[n];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace korvan
