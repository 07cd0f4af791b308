#pragma once
// Operator messages in the user's language: one lookup, arguments put in after it (Qt-free; the programs set the lookup).
#include <string>
#include <type_traits>
#include <vector>

// Marks a text written in English for the Czech catalog (duomat_cs.ts) and
// gives Tr its context and source: Tr(DUOMAT_TR_EN("ctx", "Text %1"), arg).
// lupdate reads it as QT_TRANSLATE_NOOP.
#define DUOMAT_TR_EN(context, source) context, source

// The same mark for a text kept in a table and looked up later with
// Tr(context, text): it stands for the source alone.
#define DUOMAT_NOOP_EN(context, source) source

namespace korvan {

// Looks SOURCE up under CONTEXT; returns an empty string when there is no
// translation.
using TTranslate = std::string (*)(const char* context, const char* source);

// Set once at start, before any thread; null (the default) leaves every text
// as written.
void SetTranslator(TTranslate translate);

// SOURCE in the user's language.
std::string Tr(const char* context, const char* source);

// The same with %1 … %9 replaced by ARGS after the lookup, so a translation
// may order them as its language needs. A marker without an argument stays.
std::string TrArgs(const char* context, const char* source, const std::vector<std::string>& args);

namespace text_detail {
inline std::string Arg(const std::string& s) {
  return s;
}
inline std::string Arg(const char* s) {
  return s ? s : "";
}
template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
std::string Arg(T v) {
  return std::to_string(v);
}
}  // namespace text_detail

template <class First, class... Rest>
std::string Tr(const char* context, const char* source, const First& first, const Rest&... rest) {
  return TrArgs(context, source, {text_detail::Arg(first), text_detail::Arg(rest)...});
}

}  // namespace korvan
