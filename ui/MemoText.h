// The memo's text is bytes (an image file's lines, the settings file's value), shown in a
// Qt text control. Valid UTF-8 shows as its characters; every byte that is not part of a
// valid UTF-8 sequence (a Shift-JIS comment, say) becomes one code unit U+DC80..U+DCFF,
// which no valid UTF-8 decodes to, so the way back gives the very same bytes.
#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace zemb::ui {

QString BytesToMemoText(std::string_view bytes);

// The same, with CR LF, a lone CR and a lone LF each becoming the one unit lineBreak: the
// text as the memo fills its document from it.
QString BytesToMemoLines(std::string_view bytes, QChar lineBreak);

// Units U+DC80..U+DCFF standing alone become their byte again; other lone surrogates (never
// made by BytesToMemoText) become U+FFFD.
std::string MemoTextToBytes(QStringView text);

// The same, with every lineBreak unit becoming CR LF. One pass: a large memo's text is
// 1,048,576 lines.
std::string MemoLinesToBytes(QStringView text, QChar lineBreak);

}  // namespace zemb::ui
