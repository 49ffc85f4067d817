#include "MemoText.h"

namespace zemb::ui {

namespace {

constexpr char16_t kParagraphSeparator = 0x2029;
constexpr char16_t kBeginningOfFrame = 0xFDD0;
constexpr char16_t kEndOfFrame = 0xFDD1;

// Length of the valid UTF-8 sequence at p (end excluded) and its code point, or 0.
int DecodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& cp) {
  const unsigned char b0 = p[0];
  int length = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (end - p < length) return 0;
  for (int i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

QString BytesToMemoText(std::string_view bytes) {
  // Every byte gives at most one code unit, except a four-byte sequence, which gives two.
  QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* dst = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      *dst++ = QChar(static_cast<char16_t>(*p++));
      continue;
    }
    char32_t cp = 0;
    const int length = DecodeUtf8(p, end, cp);
    // A paragraph separator or one of the text control's frame marks would split the line
    // there, so their bytes stay bytes.
    if (length == 0 || cp == kParagraphSeparator || cp == kBeginningOfFrame || cp == kEndOfFrame) {
      *dst++ = QChar(static_cast<char16_t>(0xDC00 + *p++));
    } else if (cp >= 0x10000) {
      *dst++ = QChar(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      *dst++ = QChar(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      p += length;
    } else {
      *dst++ = QChar(static_cast<char16_t>(cp));
      p += length;
    }
  }
  out.truncate(dst - out.constData());
  return out;
}

std::string MemoTextToBytes(QStringView text) {
  std::string out;
  out.reserve(static_cast<size_t>(text.size()) + static_cast<size_t>(text.size()) / 2);
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t u = text[i].unicode();
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && text[i + 1].unicode() >= 0xDC00 &&
               text[i + 1].unicode() <= 0xDFFF) {
      const char16_t low = text[++i].unicode();
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (low - 0xDC00));
    } else if (u >= 0xDC80 && u <= 0xDCFF) {
      out += static_cast<char>(u - 0xDC00);
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

}  // namespace zemb::ui
