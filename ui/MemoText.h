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

// Units U+DC80..U+DCFF standing alone become their byte again; other lone surrogates (never
// made by BytesToMemoText) become U+FFFD.
std::string MemoTextToBytes(QStringView text);

}  // namespace zemb::ui
