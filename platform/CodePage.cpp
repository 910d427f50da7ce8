#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/Trace.h"

namespace talvinor {

namespace {

constexpr wchar_t kInvalidByteChar = 0x30FB;  // KATAKANA MIDDLE DOT

// One conversion descriptor per direction, opened on first use. iconv_t is not
// thread-safe, so each is used under its own mutex.
class Converter {
 public:
  Converter(const char* to, const char* from) {
    m_cd = iconv_open(to, from);
    if (m_cd == reinterpret_cast<iconv_t>(-1)) {
      TraceErrno(errno, "iconv_open CP932");
    }
  }
  ~Converter() {
    if (Ok()) iconv_close(m_cd);
  }
  bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as possible; returns the iconv result and errno through `error`.
  size_t Step(char** in, size_t* inLeft, char** out, size_t* outLeft, int* error) {
    size_t r = iconv(m_cd, in, inLeft, out, outLeft);
    *error = (r == static_cast<size_t>(-1)) ? errno : 0;
    return r;
  }
  void ResetState() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

  std::mutex mutex;

 private:
  iconv_t m_cd;
};

Converter& ToAnsi() {
  static Converter c("CP932", "WCHAR_T");
  return c;
}
Converter& FromAnsi() {
  static Converter c("WCHAR_T", "CP932");
  return c;
}

}  // namespace

bool IsAnsiLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::string WideToAnsi(std::wstring_view text) {
  std::string out;
  Converter& conv = ToAnsi();
  if (!conv.Ok()) {
    for (wchar_t c : text) out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
  }
  std::lock_guard lock(conv.mutex);
  conv.ResetState();
  char buffer[4096];
  const wchar_t* next = text.data();
  size_t remaining = text.size();
  while (remaining > 0) {
    char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(next));
    size_t inLeft = remaining * sizeof(wchar_t);
    char* o = buffer;
    size_t outLeft = sizeof buffer;
    int error = 0;
    conv.Step(&in, &inLeft, &o, &outLeft, &error);
    out.append(buffer, o - buffer);
    size_t consumed = (remaining * sizeof(wchar_t) - inLeft) / sizeof(wchar_t);
    next += consumed;
    remaining -= consumed;
    if (error == EILSEQ || error == EINVAL) {
      out += '?';
      ++next;
      --remaining;
      conv.ResetState();
    } else if (error != 0 && error != E2BIG) {
      TraceErrno(error, "iconv to CP932");
      break;
    }
  }
  return out;
}

std::wstring AnsiToWide(std::string_view bytes) {
  std::wstring out;
  Converter& conv = FromAnsi();
  if (!conv.Ok()) {
    for (char c : bytes) {
      unsigned char b = static_cast<unsigned char>(c);
      out += (b < 0x80) ? static_cast<wchar_t>(b) : kInvalidByteChar;
    }
    return out;
  }
  std::lock_guard lock(conv.mutex);
  conv.ResetState();
  wchar_t buffer[1024];
  const char* next = bytes.data();
  size_t remaining = bytes.size();
  while (remaining > 0) {
    char* in = const_cast<char*>(next);
    size_t inLeft = remaining;
    char* o = reinterpret_cast<char*>(buffer);
    size_t outLeft = sizeof buffer;
    int error = 0;
    conv.Step(&in, &inLeft, &o, &outLeft, &error);
    out.append(buffer, reinterpret_cast<wchar_t*>(o) - buffer);
    next += remaining - inLeft;
    remaining = inLeft;
    if (error == EILSEQ || error == EINVAL) {
      // An invalid or truncated sequence: one marker for its first byte.
      out += kInvalidByteChar;
      ++next;
      --remaining;
      conv.ResetState();
    } else if (error != 0 && error != E2BIG) {
      TraceErrno(error, "iconv from CP932");
      break;
    }
  }
  return out;
}

}  // namespace talvinor
