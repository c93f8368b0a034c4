#include "bridge/text_encoding.h"

TextLayout DetectTextLayout(const unsigned char* bytes, std::size_t n) {
  TextLayout layout;
  if (n > 1 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    layout.encoding = TextEncoding::kUtf16Le;
    layout.offset = 2;
    // An odd trailing byte is not a whole code unit and is dropped.
    layout.length = ((n - 2) / 2) * 2;
    return layout;
  }
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    layout.offset = 3;
    layout.length = n - 3;
    return layout;
  }
  std::size_t zeroAtOdd = 0;
  for (std::size_t i = 1; i < n; i += 2) {
    if (bytes[i] == 0) ++zeroAtOdd;
  }
  if (n >= 4 && zeroAtOdd > n / 4) {
    layout.encoding = TextEncoding::kUtf16Le;
    layout.length = (n / 2) * 2;
    return layout;
  }
  layout.length = n;
  return layout;
}

namespace {

constexpr unsigned kReplacement = 0xFFFD;

void AppendUnit(std::wstring& out, unsigned codePoint) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<wchar_t>(codePoint));
    return;
  }
  codePoint -= 0x10000;
  out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
  out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
}

void AppendUtf8(std::string& out, unsigned codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

std::wstring DecodeUtf8(const unsigned char* bytes, std::size_t n) {
  std::wstring out;
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const unsigned lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned codePoint = 0;
    // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      codePoint = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      codePoint = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    std::size_t taken = 1;
    bool whole = length != 0;
    while (whole && taken < length) {
      if (i + taken >= n) {
        whole = false;
        break;
      }
      const unsigned next = bytes[i + taken];
      const unsigned from = taken == 1 ? low : 0x80;
      const unsigned to = taken == 1 ? high : 0xBF;
      if (next < from || next > to) {
        whole = false;
        break;
      }
      codePoint = codePoint << 6 | (next & 0x3F);
      ++taken;
    }
    AppendUnit(out, whole ? codePoint : kReplacement);
    i += taken;
  }
  return out;
}

std::string EncodeUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<unsigned long>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      const auto next = static_cast<unsigned long>(text[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, static_cast<unsigned>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
        ++i;
        continue;
      }
    }
    const bool lone = unit >= 0xD800 && unit <= 0xDFFF;
    AppendUtf8(out, lone || unit > 0x10FFFF ? kReplacement : static_cast<unsigned>(unit));
  }
  return out;
}

std::wstring DecodeTextFileBytes(const unsigned char* bytes, std::size_t n) {
  const TextLayout layout = DetectTextLayout(bytes, n);
  const unsigned char* payload = bytes + layout.offset;
  if (layout.encoding == TextEncoding::kUtf8) return DecodeUtf8(payload, layout.length);
  std::wstring text(layout.length / 2, L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(payload[2 * i] | (payload[2 * i + 1] << 8));
  }
  return text;
}
