#include "PortDiagnosisText.h"

namespace zemb::ui {

namespace {

using M = DiagnosisMessage;

QString Arg(const std::vector<std::string>& args, size_t i) {
  return i < args.size() ? QString::fromStdString(args[i]) : QString();
}

}  // namespace

QString PortDiagnosisText::Holders(const std::vector<std::string>& args) {
  QString text;
  for (size_t i = 0; i < args.size(); i += 3) {
    const QString pid = Arg(args, i);
    const QString program = Arg(args, i + 1);
    const QString user = Arg(args, i + 2);
    if (i > 0) text += tr("、", "between the processes that hold a port");
    // One pass of arg() for all of them: a program or user name may itself hold "%1".
    if (program.isEmpty() && user.isEmpty()) {
      text += tr("PID %1").arg(pid);
    } else if (user.isEmpty()) {
      text += tr("PID %1（%2）").arg(pid, program);
    } else if (program.isEmpty()) {
      text += tr("PID %1（ユーザー %2）").arg(pid, user);
    } else {
      text += tr("PID %1（%2、ユーザー %3）").arg(pid, program, user);
    }
  }
  return text;
}

QString PortDiagnosisText::Line(const DiagnosisLine& line) {
  const auto arg = [&line](size_t i) { return Arg(line.args, i); };
  switch (line.message) {
    case M::Verbatim:
      return arg(0);
    case M::NoPortFound:
      return tr("このマシンにはシリアルポートが見つかりません。");
    case M::PortsThatExist:
      return tr("現在あるシリアルポート:");
    case M::OwnerGroupMode:
      return tr("%1 の所有者は %2、グループは %3、モードは %4 です。")
          .arg(arg(0), arg(1), arg(2), arg(3));
    case M::OnlyOwnerMayOpen:
      return tr("グループにも読み書きの権限がなく、開けるのは所有者だけです。");
    case M::InGroupYetRefused:
      return tr("このプログラムはすでにグループ %1 で動いていますが、開くことを拒否されました。"
                "アクセス制御リストかセキュリティモジュールが妨げているのかもしれません。")
          .arg(arg(0));
    case M::InGroupSinceLogin:
      return tr("%1 は %3 でグループ %2 に入っていますが、このセッションはそれより前に"
                "始まりました。ログアウトしてログインし直してください。")
          .arg(arg(0), arg(1), arg(2));
    case M::AddToGroup:
      return tr("一度だけ自分をグループ %1 に加え、ログアウトしてログインし直してください:")
          .arg(arg(0));
    case M::ProcessesUnreadable:
      return tr("プロセスを調べられない（%1 を読めない）ため、使用中のプログラムはわかりません。")
          .arg(arg(0));
    case M::HeldByProcess:
      return tr("%1 が使用中です。").arg(Holders(line.args));
    case M::HeldByProcesses:
      return tr("次のプロセスが使用中です: %1。").arg(Holders(line.args));
    case M::CloseProgram:
      return tr("そのプログラムを閉じるか、終了させてください:");
    case M::ClosePrograms:
      return tr("それらのプログラムを閉じるか、終了させてください:");
    case M::ModemManagerProbes:
      return tr(
          "ModemManager は新しいシリアルポートをどれも調べ、数秒後に手放します。"
          "ずっと近づけないようにするには: sudo systemctl stop ModemManager");
    case M::NoHolderOfUser:
      return tr("このユーザーのプロセスは使用していません。");
    case M::NoHolderOfUserUnreadable:
      return tr("このユーザーのプロセスは使用していません。他のユーザーのプロセス %1 個は"
                "調べられませんでした（root なら調べられます）。")
          .arg(arg(0));
    case M::BrailleClaim:
      return tr("USB アダプター %1 はつながっていますが、シリアルポートがありません。点字"
                "ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%2、%3 行目）、"
                "アダプターが現れるとすぐに取ってしまいます。")
          .arg(arg(0), arg(1), arg(2));
    case M::BrailleClaimNamed:
      return tr("USB アダプター %1（%2）はつながっていますが、シリアルポートがありません。点字"
                "ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%3、%4 行目）、"
                "アダプターが現れるとすぐに取ってしまいます。")
          .arg(arg(0), arg(1), arg(2), arg(3));
    case M::RemoveBrailleService:
      return tr(
          "点字ディスプレイを使わないなら brltty を削除し、アダプターを抜いて"
          "差し直してください:");
    case M::DeviceGone:
      return tr("%1 が指すデバイスはもうありません（抜かれましたか?）。").arg(arg(0));
    case M::NoHardware:
      return tr("%1 はありますが、その先で応答するハードウェアがありません。").arg(arg(0));
    case M::DoesNotExist:
      return tr("%1 はありません。").arg(arg(0));
    case M::WindowsPortHeld:
      return tr("Windows は他のプログラムが開いているポートを拒みます。%1 を開いている"
                "ターミナル、シリアルモニターなどのツールを閉じて、やり直してください。")
          .arg(arg(0));
  }
  return arg(0);
}

QString PortDiagnosisText::Lines(const std::vector<DiagnosisLine>& lines) {
  QString text;
  for (const auto& line : lines) {
    if (!text.isEmpty()) text += QChar('\n');
    text += Line(line);
  }
  return text;
}

}  // namespace zemb::ui
