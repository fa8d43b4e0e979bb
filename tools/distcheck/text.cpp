#include "text.h"

#include <glib.h>

#include <memory>

namespace distcheck {
namespace {

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};
template <typename T>
using GlibText = std::unique_ptr<T, GFree>;

static_assert(sizeof(wchar_t) == sizeof(gunichar), "wide text is UTF-32 on Linux");

}  // namespace

std::wstring Widen(const std::string& text) {
  GlibText<gchar> valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  glong length = 0;
  GlibText<gunichar> wide(g_utf8_to_ucs4_fast(valid.get(), -1, &length));
  return std::wstring(reinterpret_cast<const wchar_t*>(wide.get()), static_cast<std::size_t>(length));
}

std::string Narrow(const std::wstring& text) {
  glong length = 0;
  GlibText<gchar> narrow(g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()), static_cast<glong>(text.size()),
                                        nullptr, &length, nullptr));
  return narrow ? std::string(narrow.get(), static_cast<std::size_t>(length)) : std::string("?");
}

wchar_t UpperCase(wchar_t c) { return static_cast<wchar_t>(g_unichar_toupper(static_cast<gunichar>(c))); }

}  // namespace distcheck
