#include <windows.h>

#include <string>

#include "quenvar/fileio/file_error.h"
#include "quenvar/fileio/utf16.h"

namespace quenvar {

std::string SystemMessage(int code) {
  wchar_t* text = nullptr;
  // In the user's language, as every other program on the machine speaks.
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string wide(text, text + length);
  ::LocalFree(text);
  // Messages end in a full stop and line breaks; the callers add their own end.
  while (!wide.empty() && (wide.back() == u' ' || wide.back() == u'\r' || wide.back() == u'\n'))
    wide.pop_back();
  if (!wide.empty() && wide.back() == u'.') wide.pop_back();
  if (wide.empty()) return "Unknown error " + std::to_string(static_cast<unsigned long>(code));
  return Utf16ToUtf8(wide);
}

TError SystemFileError(TErrorKind kind, std::string path, int code) {
  if (code == 0) code = ERROR_GEN_FAILURE;
  return TError{kind, SystemMessage(code), code, std::move(path)};
}

}  // namespace quenvar
