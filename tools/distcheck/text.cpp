#include "text.h"

#include <glib.h>

#include <memory>

namespace distcheck {

static_assert(sizeof(wchar_t) == sizeof(gunichar), "wide text is UTF-32 on Linux");

std::string Utf8(const std::wstring& text) {
  glong length = 0;
  std::unique_ptr<gchar, decltype(&g_free)> narrow(
      g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()), static_cast<glong>(text.size()), nullptr, &length,
                     nullptr),
      &g_free);
  return narrow ? std::string(narrow.get(), static_cast<std::size_t>(length)) : std::string("?");
}

wchar_t UpperCase(wchar_t c) { return static_cast<wchar_t>(g_unichar_toupper(static_cast<gunichar>(c))); }

}  // namespace distcheck
