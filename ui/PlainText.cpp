#include "PlainText.h"

#include <QTextDocument>

namespace zemb::ui {

QString PlainToolTip(const QString& text) {
  if (text.isEmpty()) return text;
  // Escaped markup is the one form Qt's tooltip never reinterprets; "pre" keeps line
  // breaks and runs of blanks as they are.
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
}

QString PlainToolTip(const std::string& text) {
  return PlainToolTip(QString::fromStdString(text));
}

QString ToolTipShownText(const QString& toolTip) {
  if (!Qt::mightBeRichText(toolTip)) return toolTip;
  QTextDocument document;
  document.setHtml(toolTip);
  return document.toPlainText();
}

QString PlainMenuText(const QString& text) {
  QString out = text;
  out.replace(QChar('&'), QStringLiteral("&&"));
  return out;
}

}  // namespace zemb::ui
