<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>ErrorHandler</name>
    <message>
        <source>&apos;%1&apos; は整数ではありません</source>
        <translation>&apos;%1&apos; is not a valid integer value</translation>
    </message>
    <message>
        <source>ファイル %1 は開けません</source>
        <translation>Cannot open file %1</translation>
    </message>
    <message>
        <source>ファイル %1 を作成できません</source>
        <translation>Cannot create file %1</translation>
    </message>
    <message>
        <source>ストリームへの書き込みエラー</source>
        <translation>Stream write error</translation>
    </message>
</context>
<context>
    <name>PortDiagnosis</name>
    <message>
        <source>、</source>
        <comment>between the processes that hold a port</comment>
        <translation>; </translation>
    </message>
    <message>
        <source>PID %1</source>
        <translation>PID %1</translation>
    </message>
    <message>
        <source>PID %1（%2）</source>
        <translation>PID %1 (%2)</translation>
    </message>
    <message>
        <source>PID %1（ユーザー %2）</source>
        <translation>PID %1, user %2</translation>
    </message>
    <message>
        <source>PID %1（%2、ユーザー %3）</source>
        <translation>PID %1 (%2), user %3</translation>
    </message>
    <message>
        <source>このマシンにはシリアルポートが見つかりません。</source>
        <translation>No serial port was found on this machine.</translation>
    </message>
    <message>
        <source>現在あるシリアルポート:</source>
        <translation>Serial ports that exist now:</translation>
    </message>
    <message>
        <source>%1 の所有者は %2、グループは %3、モードは %4 です。</source>
        <translation>%1 belongs to %2 and group %3, mode %4.</translation>
    </message>
    <message>
        <source>グループにも読み書きの権限がなく、開けるのは所有者だけです。</source>
        <translation>Its group may not read and write it either: only its owner may open it.</translation>
    </message>
    <message>
        <source>このプログラムはすでにグループ %1 で動いていますが、開くことを拒否されました。アクセス制御リストかセキュリティモジュールが妨げているのかもしれません。</source>
        <translation>This program already runs in group %1, yet the open was refused: an access control list or a security module may stand in the way.</translation>
    </message>
    <message>
        <source>%1 は %3 でグループ %2 に入っていますが、このセッションはそれより前に始まりました。ログアウトしてログインし直してください。</source>
        <translation>%1 is in group %2 in %3, but this session started before that: log out and in again.</translation>
    </message>
    <message>
        <source>一度だけ自分をグループ %1 に加え、ログアウトしてログインし直してください:</source>
        <translation>Add yourself to group %1 once, then log out and in again:</translation>
    </message>
    <message>
        <source>プロセスを調べられない（%1 を読めない）ため、使用中のプログラムはわかりません。</source>
        <translation>The processes could not be looked into (%1 cannot be read), so the program holding it is not known.</translation>
    </message>
    <message>
        <source>%1 が使用中です。</source>
        <translation>It is held by %1.</translation>
    </message>
    <message>
        <source>次のプロセスが使用中です: %1。</source>
        <translation>It is held by these processes: %1.</translation>
    </message>
    <message>
        <source>そのプログラムを閉じるか、終了させてください:</source>
        <translation>Close that program, or end it:</translation>
    </message>
    <message>
        <source>それらのプログラムを閉じるか、終了させてください:</source>
        <translation>Close those programs, or end them:</translation>
    </message>
    <message>
        <source>ModemManager は新しいシリアルポートをどれも調べ、数秒後に手放します。ずっと近づけないようにするには: sudo systemctl stop ModemManager</source>
        <translation>ModemManager probes every new serial port and lets go after a few seconds; to keep it away for good: sudo systemctl stop ModemManager</translation>
    </message>
    <message>
        <source>このユーザーのプロセスは使用していません。</source>
        <translation>No process of this user holds it.</translation>
    </message>
    <message>
        <source>このユーザーのプロセスは使用していません。他のユーザーのプロセス %1 個は調べられませんでした（root なら調べられます）。</source>
        <translation>No process of this user holds it; %1 processes of other users could not be looked into (as root they would be).</translation>
    </message>
    <message>
        <source>USB アダプター %1 はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%2、%3 行目）、アダプターが現れるとすぐに取ってしまいます。</source>
        <translation>The USB adapter %1 is plugged in but has no serial port: brltty, the braille display service, claims that USB id (%2, line %3) and takes the adapter as soon as it appears.</translation>
    </message>
    <message>
        <source>USB アダプター %1（%2）はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%3、%4 行目）、アダプターが現れるとすぐに取ってしまいます。</source>
        <translation>The USB adapter %1 (%2) is plugged in but has no serial port: brltty, the braille display service, claims that USB id (%3, line %4) and takes the adapter as soon as it appears.</translation>
    </message>
    <message>
        <source>点字ディスプレイを使わないなら brltty を削除し、アダプターを抜いて差し直してください:</source>
        <translation>Without a braille display, remove brltty, then unplug the adapter and plug it in again:</translation>
    </message>
    <message>
        <source>%1 が指すデバイスはもうありません（抜かれましたか?）。</source>
        <translation>%1 names a device that is gone (unplugged?).</translation>
    </message>
    <message>
        <source>%1 はありますが、その先で応答するハードウェアがありません。</source>
        <translation>%1 exists, but no hardware answers behind it.</translation>
    </message>
    <message>
        <source>%1 はありません。</source>
        <translation>%1 does not exist.</translation>
    </message>
    <message>
        <source>Windows は他のプログラムが開いているポートを拒みます。%1 を開いているターミナル、シリアルモニターなどのツールを閉じて、やり直してください。</source>
        <translation>Windows refuses a port that another program holds: close the terminal, serial monitor or other tool that has %1 open, and try again.</translation>
    </message>
</context>
<context>
    <name>PortGroupMenu</name>
    <message>
        <source>環境変数 %1</source>
        <translation>environment variable %1</translation>
    </message>
    <message>
        <source>割り当て済み</source>
        <translation>assigned</translation>
    </message>
    <message>
        <source>既定</source>
        <translation>default</translation>
    </message>
    <message>
        <source>名前のまま</source>
        <translation>name as given</translation>
    </message>
    <message>
        <source>%1 → %2（%3）</source>
        <translation>%1 → %2 (%3)</translation>
    </message>
    <message>
        <source>このデバイスはありません</source>
        <translation>This device does not exist</translation>
    </message>
    <message>
        <source>%1 の接続先</source>
        <translation>%1 is connected to</translation>
    </message>
    <message>
        <source>シリアルポートが見つかりません</source>
        <translation>No serial ports found</translation>
    </message>
    <message>
        <source>既定に戻す（%1）</source>
        <translation>Back to the default (%1)</translation>
    </message>
    <message>
        <source>%1 が設定されているため、そちらが優先されます</source>
        <translation>%1 is set and takes precedence</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>ブランクCHK</source>
        <translation>Blank CHK</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>ファイルとの</source>
        <translation>With file</translation>
    </message>
    <message>
        <source>ROM読</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>PROGRAM</source>
        <translation>PROGRAM</translation>
    </message>
    <message>
        <source>比較</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>WRITE</source>
        <translation>WRITE</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>通信ログ</source>
        <translation>Serial transcript</translation>
    </message>
    <message>
        <source>次回の起動から切り替わります</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>%1 が設定されているため、そちらが優先されます</source>
        <translation>%1 is set and takes precedence</translation>
    </message>
    <message>
        <source>チェック中</source>
        <translation>Checking</translation>
    </message>
    <message>
        <source>チェックOK</source>
        <translation>Check OK</translation>
    </message>
    <message>
        <source>チェックNG</source>
        <translation>Check NG</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>LOAD</source>
        <translation>LOAD</translation>
    </message>
    <message>
        <source>ProgramOK</source>
        <translation>ProgramOK</translation>
    </message>
    <message>
        <source>ProgramNG</source>
        <translation>ProgramNG</translation>
    </message>
    <message>
        <source>CompOK</source>
        <translation>CompOK</translation>
    </message>
    <message>
        <source>CompNG</source>
        <translation>CompNG</translation>
    </message>
    <message>
        <source> 書込中 ...</source>
        <translation> Writing ...</translation>
    </message>
    <message>
        <source>WriteOK</source>
        <translation>WriteOK</translation>
    </message>
    <message>
        <source>WriteNG</source>
        <translation>WriteNG</translation>
    </message>
    <message>
        <source> 比較中 ...</source>
        <translation> Comparing ...</translation>
    </message>
    <message>
        <source>ファイル %1 を作成できません（%2）</source>
        <translation>Cannot create file %1 (%2)</translation>
    </message>
    <message>
        <source>HEX表示</source>
        <translation>Hex view</translation>
    </message>
    <message>
        <source>差分を表示</source>
        <translation>Show differences</translation>
    </message>
    <message>
        <source>メモの内容を読めません: %1</source>
        <translation>Cannot read the memo: %1</translation>
    </message>
    <message>
        <source>開始アドレスが終了アドレスより大きい</source>
        <translation>The start address is above the end address</translation>
    </message>
    <message>
        <source>デバイスがありません</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>他のプログラムが使用中です</source>
        <translation>in use by another program</translation>
    </message>
    <message>
        <source>アクセスが拒否されました</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>回線が切れました</source>
        <translation>the line hung up</translation>
    </message>
    <message>
        <source>シリアルデバイスではありません</source>
        <translation>not a serial device</translation>
    </message>
    <message>
        <source>書き込めません</source>
        <translation>cannot be written</translation>
    </message>
    <message>
        <source>開けません</source>
        <translation>cannot be opened</translation>
    </message>
</context>
<context>
    <name>TranscriptWindow</name>
    <message>
        <source>送</source>
        <translation>TX</translation>
    </message>
    <message>
        <source>受</source>
        <translation>RX</translation>
    </message>
    <message>
        <source>通信ログ</source>
        <translation>Serial transcript</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
</context>
<context>
    <name>WindowImages</name>
    <message>
        <source>ROMイメージ (*.hex *.s19 *.srec *.mot *.bin)</source>
        <translation>ROM images (*.hex *.s19 *.srec *.mot *.bin)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Intel HEX (*.hex)</source>
        <translation>Intel HEX (*.hex)</translation>
    </message>
    <message>
        <source>Sレコード (*.s19 *.srec *.mot)</source>
        <translation>S-record (*.s19 *.srec *.mot)</translation>
    </message>
    <message>
        <source>バイナリ (*.bin)</source>
        <translation>Binary (*.bin)</translation>
    </message>
</context>
<context>
    <name>zemb::ui::HexTable</name>
    <message>
        <source>ROM</source>
        <translation>chip</translation>
    </message>
    <message>
        <source>%1  ファイル %2  ROM %3</source>
        <translation>%1  file %2  chip %3</translation>
    </message>
</context>
<context>
    <name>zemb::ui::HexView</name>
    <message>
        <source>HEX表示</source>
        <translation>Hex view</translation>
    </message>
    <message>
        <source>(範囲が広すぎます)</source>
        <translation>(range too wide)</translation>
    </message>
    <message>
        <source>範囲 %1-%2  %3 バイト  CRC-32 %4</source>
        <translation>Range %1-%2  %3 bytes  CRC-32 %4</translation>
    </message>
    <message>
        <source>メモの内容を読めません: %1</source>
        <translation>Cannot read the memo: %1</translation>
    </message>
    <message>
        <source>データがありません</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>差分</source>
        <translation>Differences</translation>
    </message>
    <message>
        <source>ROMの読み出しに失敗しました: %1</source>
        <translation>Reading the chip failed: %1</translation>
    </message>
    <message>
        <source>(応答なし)</source>
        <translation>(no answer)</translation>
    </message>
    <message>
        <source>%1 ほか %2 か所</source>
        <extracomment>Address runs cut short; %2 is how many more there are.</extracomment>
        <translation>%1, ... (%2 more)</translation>
    </message>
    <message numerus="yes">
        <source>（%n か所: %1）</source>
        <extracomment>Follows the count of differing bytes; %1 lists the runs of consecutive addresses.</extracomment>
        <translation>
            <numerusform>, in %n run: %1</numerusform>
            <numerusform>, in %n runs: %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>ROMライタの比較は NG でしたが、%1 の読み出しは %n バイトすべてがファイルと一致します: ROMライタの比較と読み出しが食い違っています</source>
        <translation>
            <numerusform>the device answered NG, but its read of %1 matches the file in all %n byte: the device&apos;s compare and its read disagree</numerusform>
            <numerusform>the device answered NG, but its read of %1 matches the file in all %n bytes: the device&apos;s compare and its read disagree</numerusform>
        </translation>
    </message>
    <message>
        <source>ファイルのバイトは ROM の読み出しにひとつもありません</source>
        <translation>no byte of the file was in the chip&apos;s read</translation>
    </message>
    <message numerus="yes">
        <source>%n バイトすべてが一致します</source>
        <translation>
            <numerusform>the %n byte matches</numerusform>
            <numerusform>all %n bytes match</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n バイト中 %1 バイトが異なります%2</source>
        <comment>one byte differs</comment>
        <translation>
            <numerusform>%1 of %n byte differs%2</numerusform>
            <numerusform>%1 of %n bytes differs%2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n バイト中 %1 バイトが異なります%2</source>
        <comment>several bytes differ</comment>
        <translation>
            <numerusform>%1 of %n byte differ%2</numerusform>
            <numerusform>%1 of %n bytes differ%2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>ファイルの %n バイトが ROM の読み出しにありません</source>
        <translation>
            <numerusform>%n byte of the file not in the chip&apos;s read</numerusform>
            <numerusform>%n bytes of the file not in the chip&apos;s read</numerusform>
        </translation>
    </message>
    <message>
        <source>うち %1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません</source>
        <translation>%1 of the differing bytes need a bit set from 0 to 1: only erasing the chip can fix those</translation>
    </message>
    <message>
        <source>どの違いもビットを 0 にするだけなので、消去せずに書き込めば一致させられます</source>
        <translation>every difference only clears bits: a write without erasing can make this chip match</translation>
    </message>
</context>
</TS>
